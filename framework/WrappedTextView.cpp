#include "framework/WrappedTextView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

constexpr int kMargin = 3;
constexpr int kFrameMs = 16;

// The fonts Qt draws the sample's characters in, the one of its first character first, each
// on its own (no other font completes it).
std::vector<QFont> FontsOf(const QFont& font, QStringView sample) {
    std::vector<QFont> faces;
    std::vector<QString> families;
    for (qsizetype at = 0; at < sample.size(); ++at) {
        const qsizetype length = sample[at].isHighSurrogate() ? 2 : 1;
        QTextLayout layout(sample.mid(at, length).toString(), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        at += length - 1;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            const QRawFont raw = run.rawFont();
            if (!raw.isValid() || raw.familyName().isEmpty() ||
                std::find(families.begin(), families.end(), raw.familyName()) != families.end())
                continue;
            families.push_back(raw.familyName());
            QFont face = font;
            face.setFamilies({raw.familyName()});
            face.setStyleName(raw.styleName());
            face.setStyleStrategy(QFont::NoFontMerging);
            faces.push_back(face);
        }
    }
    if (faces.empty())
        faces.push_back(font);
    return faces;
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
    drawLater_.setSingleShot(true);
    connect(&drawLater_, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
    MeasureFont();
}

void WrappedTextView::UseFontsOf(QStringView sample) {
    fontSample_ = sample.toString();
    MeasureFont();
    Rewrap();
    UpdateScrollBar();
    viewport()->update();
}

void WrappedTextView::MeasureFont() {
    if (fontSample_.isEmpty())
        faces_.assign(1, font());
    else
        faces_ = FontsOf(font(), fontSample_);
    rawFaces_.clear();
    for (const QFont& face : faces_)
        rawFaces_.push_back(QRawFont::fromFont(face));
    const QFontMetricsF metrics(faces_.front());
    for (int unit = 0; unit < 128; ++unit)
        asciiWidth_[unit] = std::llround(metrics.horizontalAdvance(QChar(unit)) * 64);
    glyphs_.assign(0x10000, Glyph{});
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

int WrappedTextView::FaceOf(char32_t code) const {
    if (faces_.size() > 1) {
        for (std::size_t face = 0; face < rawFaces_.size(); ++face)
            if (rawFaces_[face].supportsCharacter(code))
                return static_cast<int>(face);
    }
    return 0;
}

WrappedTextView::Width WrappedTextView::Measure(int face, QStringView text) const {
    return std::llround(QFontMetricsF(faces_[face]).horizontalAdvance(text.toString()) * 64);
}

const WrappedTextView::Glyph& WrappedTextView::GlyphOf(char16_t unit) {
    Glyph& glyph = glyphs_[unit];
    if (glyph.width >= 0)
        return glyph;
    glyph.face = FaceOf(unit);
    const char16_t sample = WidthSample(unit);
    if (sample != unit) {
        const Glyph& first = GlyphOf(sample);
        if (first.face == glyph.face) {
            glyph.width = first.width;
            return glyph;
        }
    }
    glyph.width = static_cast<std::int32_t>(Measure(glyph.face, QStringView(&unit, 1)));
    return glyph;
}

void WrappedTextView::PlaceOther(qsizetype at, char16_t unit) {
    if (QChar::isHighSurrogate(unit))
        return;  // measured with its low half
    if (QChar::isLowSurrogate(unit) && at > 0 && QChar::isHighSurrogate(units_[at - 1])) {
        const QStringView pair(units_ + at - 1, 2);
        // Never between the halves of one character.
        Fit(at - 1, Measure(FaceOf(QChar::surrogateToUcs4(pair[0], pair[1])), pair));
        return;
    }
    Fit(at, GlyphOf(unit).width);
}

template <class Visit>
void WrappedTextView::ForEachCharacter(qsizetype from, qsizetype to, Visit&& visit) {
    for (qsizetype at = from; at < to; ++at) {
        const char16_t unit = units_[at];
        if (unit < 0x80) {
            visit(at, 1, 0, asciiWidth_[unit]);
        } else if (QChar::isHighSurrogate(unit) && at + 1 < to &&
                   QChar::isLowSurrogate(units_[at + 1])) {
            const QStringView pair(units_ + at, 2);
            const int face = FaceOf(QChar::surrogateToUcs4(pair[0], pair[1]));
            visit(at, 2, face, Measure(face, pair));
            ++at;
        } else if (QChar::isHighSurrogate(unit)) {
            visit(at, 1, 0, Width{0});  // half a character: placed without a width
        } else {
            const Glyph& glyph = GlyphOf(unit);
            visit(at, 1, glyph.face, Width{glyph.width});
        }
    }
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
    DrawSoon();
}

void WrappedTextView::DrawSoon() {
    if (!sinceDrawn_.isValid() || sinceDrawn_.elapsed() >= kFrameMs)
        viewport()->update();
    else if (!drawLater_.isActive())
        drawLater_.start(static_cast<int>(kFrameMs - sinceDrawn_.elapsed()));
}

void WrappedTextView::scrollContentsBy(int, int) {
    DrawSoon();
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
    sinceDrawn_.start();
    QPainter painter(viewport());
    int y = 0;
    for (qsizetype row = verticalScrollBar()->value();
         row < LineCount() && y < viewport()->height(); ++row, y += lineHeight_)
        DrawRow(painter, row, y);
}

void WrappedTextView::DrawRow(QPainter& painter, qsizetype row, int y) {
    const QPalette& colours = palette();
    const qsizetype start = rows_[row];
    const qsizetype end = RowEnd(row);
    const qsizetype from = std::min(anchor_, caret_);
    const qsizetype to = std::max(anchor_, caret_);
    // The row goes out in runs of one font and one selection state, each placed where the
    // widths it was wrapped by put it.
    Width x = 0;
    qsizetype runStart = start;
    Width runX = 0;
    int runFace = 0;
    bool runSelected = false;
    auto draw = [&](qsizetype runEnd) {
        if (runEnd == runStart)
            return;
        const QPointF at(kMargin + runX / 64.0, y + ascent_);
        if (runSelected) {
            painter.fillRect(QRectF(at.x(), y, (x - runX) / 64.0, lineHeight_),
                             colours.color(QPalette::Highlight));
        }
        painter.setPen(colours.color(runSelected ? QPalette::HighlightedText : QPalette::Text));
        painter.setFont(faces_[runFace]);
        painter.drawText(at, QString(text_.constData() + runStart, runEnd - runStart));
    };
    ForEachCharacter(start, end, [&](qsizetype at, int, int face, Width width) {
        const bool selected = at >= from && at < to;
        if (face != runFace || selected != runSelected) {
            draw(at);
            runStart = at;
            runX = x;
            runFace = face;
            runSelected = selected;
        }
        x += width;
    });
    draw(end);
    if (hasFocus() && caret_ >= start && (row + 1 == LineCount() || caret_ < rows_[row + 1])) {
        Width caretX = 0;
        ForEachCharacter(start, caret_, [&](qsizetype, int, int, Width width) { caretX += width; });
        const qreal left = kMargin + caretX / 64.0;
        painter.setPen(colours.color(QPalette::Text));
        painter.drawLine(QPointF(left, y), QPointF(left, y + lineHeight_ - 1));
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

qsizetype WrappedTextView::OffsetAt(const QPoint& point) {
    const qsizetype row = std::clamp<qsizetype>(
        verticalScrollBar()->value() + std::max(0, point.y()) / lineHeight_, 0, LineCount() - 1);
    const qsizetype end = RowEnd(row);
    // The character under the pointer, or the one after it past its middle.
    const Width pointX = Width{point.x() - kMargin} * 64;
    Width x = 0;
    qsizetype found = -1;
    ForEachCharacter(rows_[row], end, [&](qsizetype at, int, int, Width width) {
        if (found < 0 && pointX < x + width / 2)
            found = at;
        x += width;
    });
    return found < 0 ? end : found;
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
