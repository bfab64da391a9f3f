#include "framework/WrappedTextView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

constexpr int kMargin = 3;

bool IsHigh(QChar c) {
    return c.isHighSurrogate();
}

}  // namespace

WrappedTextView::WrappedTextView(QWidget* parent) : QAbstractScrollArea(parent) {
    // Columns of hexadecimal pairs line up in a fixed-pitch font.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    MeasureFont();
}

void WrappedTextView::MeasureFont() {
    const QFontMetricsF metrics(font());
    for (int unit = 0; unit < 128; ++unit)
        asciiWidth_[unit] = std::llround(metrics.horizontalAdvance(QChar(unit)) * 64);
    otherWidth_.assign(0x10000, -1);
    lineHeight_ = std::max(1, QFontMetrics(font()).lineSpacing());
    ascent_ = QFontMetrics(font()).ascent();
}

namespace {

// The character whose width stands for unit's. Ideographs and Hangul syllables are drawn on
// one square each in the fonts that have them, and private-use characters (which a printer's
// code page maps many bytes to) as the same missing-glyph box; measuring one of a kind keeps
// the first screenful of a Chinese binary dump from measuring thousands of glyphs one by one.
char16_t WidthSample(char16_t unit) {
    struct Block {
        char16_t first, last;
    };
    static constexpr Block kSameWidth[] = {
        {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3}, {0xE000, 0xF8FF}};
    for (const Block& block : kSameWidth)
        if (unit >= block.first && unit <= block.last)
            return block.first;
    return unit;
}

}  // namespace

WrappedTextView::Width WrappedTextView::UnitWidth(char16_t unit) {
    unit = WidthSample(unit);
    Width& width = otherWidth_[unit];
    if (width < 0)
        width = std::llround(QFontMetricsF(font()).horizontalAdvance(QString(QChar(unit))) * 64);
    return width;
}

void WrappedTextView::PlaceOther(qsizetype at, char16_t unit) {
    if (QChar::isHighSurrogate(unit))
        return;  // measured with its low half
    if (QChar::isLowSurrogate(unit) && at > 0 && QChar::isHighSurrogate(units_[at - 1])) {
        const QString pair(reinterpret_cast<const QChar*>(units_ + at - 1), 2);
        const Width w = std::llround(QFontMetricsF(font()).horizontalAdvance(pair) * 64);
        // Never between the halves of one character.
        Fit(at - 1, w);
        return;
    }
    Fit(at, UnitWidth(unit));
}

void WrappedTextView::Grow() {
    text_.resize(std::max<qsizetype>(4096, text_.size() * 2));
    units_ = reinterpret_cast<char16_t*>(text_.data());
}

void WrappedTextView::Rewrap() {
    const int width = viewport()->width() - 2 * kMargin;
    // At least one character a row, however narrow the area.
    wrapWidth_ = std::max<Width>(Width{width} * 64, asciiWidth_[u'W']);
    rows_.assign(1, 0);
    column_ = 0;
    breakAt_ = -1;
    for (qsizetype at = 0; at < length_; ++at)
        Place(at, units_[at]);
}

void WrappedTextView::SetText(QStringView text) {
    // The room the text had is kept: an area that is emptied and filled again and again
    // does not ask for its memory anew each time.
    if (text_.size() < text.size())
        text_.resize(text.size());
    units_ = reinterpret_cast<char16_t*>(text_.data());
    length_ = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r') {
            units_[length_++] = u'\n';
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            units_[length_++] = c;
        }
    }
    Rewrap();
    caret_ = anchor_ = 0;
    UpdateScrollBar();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void WrappedTextView::ShowAppended() {
    caret_ = anchor_ = length_;
    UpdateScrollBar();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

int WrappedTextView::VisibleRows() const {
    return std::max(1, viewport()->height() / lineHeight_);
}

void WrappedTextView::UpdateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    const int visible = VisibleRows();
    const qsizetype rows = LineCount();
    bar->setRange(0, static_cast<int>(std::max<qsizetype>(0, rows - visible)));
    bar->setPageStep(visible);
    bar->setSingleStep(1);
}

qsizetype WrappedTextView::RowEnd(qsizetype row) const {
    qsizetype end = row + 1 < LineCount() ? rows_[row + 1] : length_;
    if (end > rows_[row] && text_[end - 1] == u'\n')
        --end;
    return end;
}

void WrappedTextView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.setPen(colours.color(QPalette::Text));
    const QFontMetricsF metrics(font());
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype from = std::min(anchor_, caret_);
    const qsizetype to = std::max(anchor_, caret_);
    int y = 0;
    for (qsizetype row = first; row < LineCount() && y < viewport()->height();
         ++row, y += lineHeight_) {
        const qsizetype start = rows_[row];
        const qsizetype end = RowEnd(row);
        const QString line = text_.mid(start, end - start);
        const qreal baseline = y + ascent_;
        if (from < to && from < end && to > start) {
            // The selected part on a highlighted background.
            const qsizetype selStart = std::max(from, start) - start;
            const qsizetype selEnd = std::min(to, end) - start;
            const qreal left = kMargin + metrics.horizontalAdvance(line.left(selStart));
            const QString selected = line.mid(selStart, selEnd - selStart);
            const qreal width = metrics.horizontalAdvance(selected);
            painter.fillRect(QRectF(left, y, width, lineHeight_),
                             colours.color(QPalette::Highlight));
            painter.drawText(QPointF(kMargin, baseline), line.left(selStart));
            painter.setPen(colours.color(QPalette::HighlightedText));
            painter.drawText(QPointF(left, baseline), selected);
            painter.setPen(colours.color(QPalette::Text));
            painter.drawText(QPointF(left + width, baseline), line.mid(selEnd));
        } else {
            painter.drawText(QPointF(kMargin, baseline), line);
        }
        if (hasFocus() && caret_ >= start && (row + 1 == LineCount() || caret_ < rows_[row + 1])) {
            const qreal x = kMargin + metrics.horizontalAdvance(line.left(caret_ - start));
            painter.drawLine(QPointF(x, y), QPointF(x, y + lineHeight_ - 1));
        }
    }
}

void WrappedTextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    Rewrap();
    UpdateScrollBar();
    if (atEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void WrappedTextView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        MeasureFont();
        Rewrap();
        UpdateScrollBar();
        viewport()->update();
    }
}

qsizetype WrappedTextView::OffsetAt(const QPoint& point) const {
    const qsizetype row = std::clamp<qsizetype>(
        verticalScrollBar()->value() + std::max(0, point.y()) / lineHeight_, 0, LineCount() - 1);
    const qsizetype start = rows_[row];
    const qsizetype end = RowEnd(row);
    const QFontMetricsF metrics(font());
    qreal x = kMargin;
    for (qsizetype at = start; at < end; ++at) {
        qsizetype next = at + 1;
        if (IsHigh(text_[at]) && next < end)
            ++next;
        const qreal w = metrics.horizontalAdvance(text_.mid(at, next - at));
        if (point.x() < x + w / 2)
            return at;
        x += w;
        at = next - 1;
    }
    return end;
}

QString WrappedTextView::SelectedText() const {
    const qsizetype from = std::min(anchor_, caret_);
    return QString(text_.constData() + from, std::max(anchor_, caret_) - from);
}

void WrappedTextView::SelectAll() {
    anchor_ = 0;
    caret_ = length_;
    viewport()->update();
}

void WrappedTextView::CopySelection() const {
    const QString selected = SelectedText();
    if (!selected.isEmpty())
        QApplication::clipboard()->setText(selected);
}

void WrappedTextView::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    if (event == QKeySequence::Copy) {
        CopySelection();
    } else if (event == QKeySequence::SelectAll) {
        SelectAll();
    } else if (event->key() == Qt::Key_PageUp) {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    } else if (event->key() == Qt::Key_PageDown) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    } else if (event->key() == Qt::Key_Up) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (event->key() == Qt::Key_Down) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else if (event == QKeySequence::MoveToStartOfDocument) {
        bar->setValue(0);
    } else if (event == QKeySequence::MoveToEndOfDocument) {
        bar->setValue(bar->maximum());
    } else {
        // Typing does not change the received text.
        event->ignore();
    }
}

void WrappedTextView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    caret_ = OffsetAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier))
        anchor_ = caret_;
    viewport()->update();
}

void WrappedTextView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    caret_ = OffsetAt(event->position().toPoint());
    viewport()->update();
}

void WrappedTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // The word under the pointer: everything between blanks and line ends.
    const qsizetype at = OffsetAt(event->position().toPoint());
    auto separator = [this](qsizetype i) { return units_[i] == u' ' || units_[i] == u'\n'; };
    qsizetype from = at;
    while (from > 0 && !separator(from - 1))
        --from;
    qsizetype to = at;
    while (to < length_ && !separator(to))
        ++to;
    anchor_ = from;
    caret_ = to;
    viewport()->update();
}

void WrappedTextView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void WrappedTextView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

}  // namespace quillon
