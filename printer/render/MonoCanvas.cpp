#include "printer/render/MonoCanvas.h"

#include <algorithm>

namespace quillon::printer {

MonoCanvas::MonoCanvas(int width, int height)
    : image_(width, height, QImage::Format_Mono), width_(image_.width()), height_(image_.height()) {
    image_.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image_.fill(0);
    bits_ = image_.bits();
    stride_ = image_.bytesPerLine();
}

void MonoCanvas::Fill(int x, int y, int w, int h, bool black) {
    const int left = std::max(x, 0), right = std::min(x + w, width());
    const int top = std::max(y, 0), bottom = std::min(y + h, height());
    if (left >= right || top >= bottom)
        return;
    for (int row = top; row < bottom; ++row) {
        uint8_t* line = Line(row);
        for (int at = left; at < right;) {
            // Whole bytes at once where the run covers them.
            if (at % 8 == 0 && right - at >= 8) {
                const int bytes = (right - at) / 8;
                std::fill_n(line + at / 8, bytes, black ? 0xFF : 0x00);
                at += bytes * 8;
                continue;
            }
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (at % 8));
            line[at / 8] = black ? (line[at / 8] | bit) : (line[at / 8] & ~bit);
            ++at;
        }
    }
}

void MonoCanvas::Row(uint8_t* line, int x, const uint8_t* source, int bits, Op op) const {
    if (x < 0) {
        // Clipped on the left: rare, so bit by bit.
        for (int i = -x; i < bits && x + i < width(); ++i) {
            const bool on = (source[i / 8] >> (7 - i % 8)) & 1;
            const int at = x + i;
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (at % 8));
            if (on && op != Op::kErase)
                line[at / 8] |= bit;
            else if (on || op == Op::kCopy)
                line[at / 8] &= static_cast<uint8_t>(~bit);
        }
        return;
    }
    bits = std::min(bits, width() - x);
    if (bits <= 0)
        return;
    const int shift = x % 8;
    uint8_t* out = line + x / 8;
    for (int i = 0; i * 8 < bits; ++i) {
        const int left = bits - i * 8;
        const uint8_t mask = left >= 8 ? 0xFF : static_cast<uint8_t>(0xFF << (8 - left));
        const uint8_t b = source[i] & mask;
        const uint8_t hi = b >> shift, hiMask = mask >> shift;
        const uint8_t lo = static_cast<uint8_t>(b << (8 - shift));
        const uint8_t loMask = shift ? static_cast<uint8_t>(mask << (8 - shift)) : 0;
        switch (op) {
            case Op::kInk:
                out[i] |= hi;
                if (loMask)
                    out[i + 1] |= lo;
                break;
            case Op::kErase:
                out[i] &= ~hi;
                if (loMask)
                    out[i + 1] &= ~lo;
                break;
            case Op::kCopy:
                out[i] = (out[i] & ~hiMask) | hi;
                if (loMask)
                    out[i + 1] = (out[i + 1] & ~loMask) | lo;
                break;
        }
    }
}

// A glyph: each row's bits at most 24, put in place as one word over four bytes. Bits past
// the width are 0, and the row is inside the canvas.
void MonoCanvas::Narrow(const BitView& rows, int x, int y, int scaleH, Op op) {
    const int shift = x % 8;
    const int bytes = std::min<int>(4, static_cast<int>(stride_) - x / 8);
    const uint32_t keep = rows.width >= 24 ? 0xFFFFFF00u : ~(0xFFFFFFFFu >> rows.width);
    for (int source = 0; source < rows.height; ++source) {
        const uint8_t* in = rows.Row(source);
        uint32_t word = uint32_t(in[0]) << 24;
        if (rows.rowBytes > 1)
            word |= uint32_t(in[1]) << 16;
        if (rows.rowBytes > 2)
            word |= uint32_t(in[2]) << 8;
        word = (word & keep) >> shift;
        if (word == 0)
            continue;
        const int top = y + source * scaleH;
        for (int row = std::max(top, 0); row < std::min(top + scaleH, height_); ++row) {
            uint8_t* out = Line(row) + x / 8;
            for (int i = 0; i < bytes; ++i) {
                const uint8_t b = static_cast<uint8_t>(word >> (24 - 8 * i));
                out[i] = op == Op::kInk ? (out[i] | b) : (out[i] & ~b);
            }
        }
    }
}

void MonoCanvas::Draw(const BitView& rows, int x, int y, int scaleW, int scaleH, Op op) {
    if (scaleW == 1 && rows.width <= 24 && op != Op::kCopy && x >= 0 && x + rows.width <= width_) {
        Narrow(rows, x, y, scaleH, op);
        return;
    }
    const int wideBits = rows.width * scaleW;
    for (int source = 0; source < rows.height; ++source) {
        const int top = y + source * scaleH;
        if (top >= height())
            break;
        if (top + scaleH <= 0)
            continue;
        const uint8_t* bits = rows.Row(source);
        if (scaleW > 1) {
            wide_.assign(static_cast<size_t>(wideBits + 7) / 8, 0);
            for (int i = 0; i < rows.width; ++i)
                if ((bits[i / 8] >> (7 - i % 8)) & 1)
                    for (int k = i * scaleW; k < (i + 1) * scaleW; ++k)
                        wide_[static_cast<size_t>(k) / 8] |= static_cast<uint8_t>(0x80 >> (k % 8));
            bits = wide_.data();
        }
        for (int row = std::max(top, 0); row < std::min(top + scaleH, height()); ++row)
            Row(Line(row), x, bits, wideBits, op);
    }
}

}  // namespace quillon::printer
