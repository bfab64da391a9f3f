#pragma once
// The print buffer of one line: characters and bit images placed left to right until the line
// is printed (LF, ESC d, ESC J, ...) or full. What is put past the right edge stays there, so
// that it is drawn up to the paper's edge, not moved elsewhere.

#include "printer/Paper.h"

namespace quillon::printer {

class LineBuilder {
  public:
    // How far right anything is kept: the rest only counts towards the line's width.
    static constexpr int kFarRight = 4096;

    // The printable area: `left` dots from the paper's edge, `width` dots wide.
    void SetArea(int left, int width);
    int AreaWidth() const { return width_; }
    bool Empty() const { return glyphs_.empty() && images_.empty() && x_ == 0; }
    // True when something `width` dots wide still fits on the line.
    bool Fits(int width) const { return x_ + width <= width_; }
    // Places a glyph `cellWidth` dots wide and `height` tall, then moves on by `advance`.
    void AddGlyph(Glyph glyph, int cellWidth, int height, int advance) {
        if (x_ < kFarRight) {
            glyph.x = static_cast<int16_t>(x_);
            glyphs_.push_back(glyph);
        }
        Advance(cellWidth, advance, height);
    }
    // Places an image `width` dots wide, of which `image` holds the part that is kept.
    void AddImage(LineImage image, int width, int height);
    // Moves to `x` dots from the area's left edge, past its right edge too.
    void MoveTo(int x);
    // True once the position was set past the area's right edge (ESC $, ESC \): what
    // follows belongs there.
    bool Positioned() const { return positioned_; }
    // Moves to the first tab stop right of the current position; stops are in dots.
    void Tab(const std::vector<int>& stops);
    int Position() const { return x_; }
    // Hands the line over, aligned, and starts an empty one. `advance` < 0: the line feeds by
    // its own height.
    TextLine Take(Align align, int advance);

  private:
    void Advance(int width, int advance, int height);

    std::vector<Glyph> glyphs_;
    std::vector<LineImage> images_;
    int left_ = 0;
    int width_ = 576;
    int x_ = 0;
    int used_ = 0;  // right edge of the last thing placed
    int height_ = 0;
    bool positioned_ = false;
};

}  // namespace quillon::printer
