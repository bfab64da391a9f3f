#pragma once
// The printer's resident fonts drawn once per character into their cells (a thermal printer's
// font A is 12 x 24, font B 9 x 17, CJK 24 x 24) without anti-aliasing, and kept as one-bit
// rows.

#include <QFont>
#include <QHash>
#include <QImage>

#include <vector>

#include "printer/Paper.h"
#include "printer/render/MonoCanvas.h"

namespace quillon::printer {

class GlyphCache {
  public:
    // `code` in `font` drawn into a cell of `cell`'s size, 1 where there is ink.
    BitView Glyph(char32_t code, FontKind font, FontCell cell, bool bold);

  private:
    struct Cell {
        int width, height, rowBytes;
        std::vector<uint8_t> bits;
    };
    static QFont FontFor(FontKind font, FontCell cell, bool bold);
    static Cell Draw(char32_t code, FontCell cell, const QFont& face);

    QHash<quint64, Cell> cells_;
};

}  // namespace quillon::printer
