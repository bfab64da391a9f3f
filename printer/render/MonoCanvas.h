#pragma once
// A one-bit page drawn straight into its bits (most significant bit leftmost, 1 is black):
// the few shapes a receipt is made of, without painting a colour canvas and thresholding it.

#include <QImage>

#include <cstdint>
#include <vector>

namespace quillon::printer {

// Rows of bits held elsewhere, most significant bit leftmost.
struct BitView {
    const uint8_t* bits;
    int width;
    int height;
    int rowBytes;
    const uint8_t* Row(int y) const { return bits + static_cast<size_t>(y) * rowBytes; }
};

class MonoCanvas {
  public:
    enum class Op { kInk, kErase, kCopy };  // set the 1 bits, clear them, or copy all bits

    MonoCanvas(int width, int height);  // white
    int width() const { return width_; }
    int height() const { return height_; }
    // Everything is clipped to the canvas.
    void Fill(int x, int y, int w, int h, bool black);
    // `rows` at (x, y), each bit scaled to scaleW x scaleH dots.
    void Draw(const BitView& rows, int x, int y, int scaleW, int scaleH, Op op);
    // A QImage::Format_Mono image, colour 0 white and 1 black.
    QImage Take() { return std::move(image_); }

  private:
    void Row(uint8_t* line, int x, const uint8_t* source, int bits, Op op) const;
    void Narrow(const BitView& rows, int x, int y, int scaleH, Op op);
    uint8_t* Line(int y) { return bits_ + static_cast<size_t>(y) * stride_; }

    QImage image_;
    int width_, height_;
    uint8_t* bits_;  // image_'s, taken once: QImage's accessors cost more than the drawing
    qsizetype stride_;
    std::vector<uint8_t> wide_;  // one row widened by its scale
};

}  // namespace quillon::printer
