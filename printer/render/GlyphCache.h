#pragma once
// The printer's resident fonts drawn once per character into their cells (font A 12 x 24,
// font B 9 x 17, CJK 24 x 24) without anti-aliasing, and kept as one-bit rows.

#include <QFont>
#include <QHash>
#include <QImage>

#include <vector>

#include "printer/Paper.h"
#include "printer/render/MonoCanvas.h"

namespace quillon::printer {

class GlyphCache {
  public:
    GlyphCache();
    // The cell of `code` in `font`, 1 where there is ink.
    BitView Glyph(char32_t code, FontKind font, bool bold);

  private:
    struct Cell {
        int width, height, rowBytes;
        std::vector<uint8_t> bits;
    };
    QFont FontFor(FontKind font, bool bold) const;
    static Cell Draw(char32_t code, FontKind font, const QFont& face);

    QFont fontA_;
    QFont fontB_;
    QFont cjk_;
    QHash<quint64, Cell> cells_;
};

}  // namespace quillon::printer
