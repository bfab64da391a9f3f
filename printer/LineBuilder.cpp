#include "printer/LineBuilder.h"

#include <algorithm>

namespace quillon::printer {

void LineBuilder::SetArea(int left, int width) {
    left_ = left;
    width_ = std::max(width, 1);
}

void LineBuilder::Advance(int width, int advance, int height) {
    used_ = std::max(used_, std::min(x_ + width, kFarRight));
    x_ = std::min(x_ + advance, kFarRight);
    height_ = std::max(height_, height);
}

void LineBuilder::AddImage(LineImage image, int width, int height) {
    image.x = x_;
    if (image.raster.width > 0 && x_ < kFarRight)
        images_.push_back(std::move(image));
    Advance(width, width, height);
}

void LineBuilder::MoveTo(int x) {
    if (x < 0)
        return;
    x_ = std::min(x, kFarRight);
    // Put on the line, what follows goes to the next line once the line is full, as a
    // printer's line buffer does; put past its right edge, it stays there, so that it is
    // drawn up to the paper's edge and noted rather than moved elsewhere.
    positioned_ = x >= width_;
}

void LineBuilder::Tab(const std::vector<int>& stops) {
    for (int stop : stops)
        if (stop > x_) {
            if (stop < width_)
                x_ = stop;
            return;
        }
}

TextLine LineBuilder::Take(Align align, int advance) {
    TextLine line;
    int shift = left_;
    if (align == Align::kCenter)
        shift += std::max(0, (width_ - used_) / 2);
    else if (align == Align::kRight)
        shift += std::max(0, width_ - used_);
    for (auto& g : glyphs_)
        g.x = static_cast<int16_t>(g.x + shift);
    for (auto& image : images_)
        image.x += shift;
    line.glyphs = std::move(glyphs_);
    line.images = std::move(images_);
    line.height = height_;
    line.advance = advance < 0 ? height_ : advance;
    line.right = shift + used_;
    glyphs_.clear();
    glyphs_.reserve(64);  // a full line of font A or B without growing
    images_.clear();
    x_ = used_ = height_ = 0;
    positioned_ = false;
    return line;
}

}  // namespace quillon::printer
