#pragma once
// A read-only text area for text that only grows at its end and may grow fast: it wraps
// long lines at its width and lays out and paints only the lines in sight, so appending
// costs the same whether the area holds ten lines or a hundred thousand. Text can be
// selected with the mouse and copied.

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QRawFont>
#include <QString>
#include <QStringView>
#include <QTimer>
#include <cstdint>
#include <vector>

class QPainter;

namespace quillon {

class WrappedTextView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit WrappedTextView(QWidget* parent = nullptr);

    // The whole text, '\n' between lines.
    QString Text() const { return QString(text_.constData(), length_); }
    // Replaces the text; CR LF, CR and LF each end a line. The area shows the start.
    void SetText(QStringView text);

    // Appends one UTF-16 unit, '\n' ending a line. Nothing is drawn until ShowAppended().
    void Append(char16_t unit) {
        if (length_ == text_.size())
            Grow();
        units_[length_] = unit;
        Place(length_++, unit);
    }
    // After a run of Append: the caret goes to the end, which is scrolled into view, and
    // the area is repainted with the next paint.
    void ShowAppended();

    // The characters of each kind the area is to show: the fonts Qt draws them in are found
    // now, once, and from then on every character is drawn in the first of those fonts that
    // has it, or as that font's missing-glyph box. Without a sample the area draws in its own
    // font, which Qt completes from the machine's other fonts each time a line is drawn; for
    // a character no font has, that means trying every font on the machine.
    void UseFontsOf(QStringView sample);

    // How many lines the area shows, long lines counted as they are wrapped.
    qsizetype LineCount() const { return static_cast<qsizetype>(rows_.size()); }
    QString SelectedText() const;
    void SelectAll();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    // Widths are kept in 1/64 pixel, so that a row of many characters adds up exactly.
    using Width = std::int64_t;
    // How one character of the first plane is drawn: its width and the font it is drawn in.
    struct Glyph {
        std::int32_t width = -1;  // -1 until measured
        std::int32_t face = 0;    // index in faces_
    };

    // Puts the unit at `at` (already in the text) into the rows.
    void Place(qsizetype at, char16_t unit) {
        if (unit == u'\n') {
            rows_.push_back(at + 1);
            column_ = 0;
            breakAt_ = -1;
            return;
        }
        if (unit == u' ') {
            // A blank may hang past the edge; the row can break after it.
            column_ += asciiWidth_[unit];
            breakAt_ = at + 1;
            breakColumn_ = column_;
            return;
        }
        if (unit < 0x80) {
            Fit(at, asciiWidth_[unit]);
            return;
        }
        PlaceOther(at, unit);
    }
    void PlaceOther(qsizetype at, char16_t unit);
    const Glyph& GlyphOf(char16_t unit);
    // The font a character is drawn in and its width there.
    int FaceOf(char32_t code) const;
    Width Measure(int face, QStringView text) const;
    // Calls visit(at, length, face, width) for each character from `from` to `to`, a pair of
    // surrogates being one character.
    template <class Visit>
    void ForEachCharacter(qsizetype from, qsizetype to, Visit&& visit);
    void DrawRow(QPainter& painter, qsizetype row, int y);
    // Starts a new row before `at` when a character of width w does not fit on this one;
    // a word that fits on a row of its own moves down whole.
    void Fit(qsizetype at, Width w) {
        if (column_ + w > wrapWidth_ && at > rows_.back()) {
            if (breakAt_ > rows_.back() && column_ - breakColumn_ + w <= wrapWidth_) {
                rows_.push_back(breakAt_);
                column_ -= breakColumn_;
            } else {
                rows_.push_back(at);
                column_ = 0;
            }
            breakAt_ = -1;
        }
        column_ += w;
    }
    // Makes room for more units at the end of the text.
    void Grow();
    void Rewrap();
    // Asks for the area to be drawn, at most once a frame: text pouring in would otherwise
    // have it drawn after every block, which takes longer than taking the block in.
    void DrawSoon();
    void MeasureFont();
    void UpdateScrollBar();
    int VisibleRows() const;
    qsizetype RowEnd(qsizetype row) const;
    qsizetype OffsetAt(const QPoint& point);
    void CopySelection() const;

    // The text is the first length_ units of text_; the rest is room to append into.
    // text_ is never shared, so units_ stays valid until text_ is resized.
    QString text_;
    char16_t* units_ = nullptr;
    qsizetype length_ = 0;
    std::vector<qsizetype> rows_{0};  // where each shown line starts in the text
    Width column_ = 0;                // width used on the last row
    qsizetype breakAt_ = -1;          // where the last row may break (after a blank)
    Width breakColumn_ = 0;           // width used up to there
    Width wrapWidth_ = 64;
    Width asciiWidth_[128] = {};  // ASCII is drawn in the first font
    std::vector<Glyph> glyphs_;   // by UTF-16 unit
    QString fontSample_;
    std::vector<QFont> faces_;        // the fonts characters are drawn in, the area's own first
    std::vector<QRawFont> rawFaces_;  // the same, to ask which characters each has
    int lineHeight_ = 1;
    int ascent_ = 0;
    qsizetype caret_ = 0;
    qsizetype anchor_ = 0;
    QElapsedTimer sinceDrawn_;
    QTimer drawLater_;
};

}  // namespace quillon
