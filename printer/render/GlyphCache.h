#pragma once
// The printer's resident fonts drawn once per character into their cells (font A 12 x 24,
// font B 9 x 17, CJK 24 x 24), black on transparent, without anti-aliasing.

#include <QFont>
#include <QHash>
#include <QImage>

#include "printer/Paper.h"

namespace quillon::printer {

class GlyphCache {
  public:
    GlyphCache();
    // The cell of `code` in `font`: black on transparent, or white for reverse printing.
    const QImage& Glyph(char32_t code, FontKind font, bool bold, bool white = false);

  private:
    QFont FontFor(FontKind font, bool bold) const;

    QFont fontA_;
    QFont fontB_;
    QFont cjk_;
    QHash<quint64, QImage> cells_;
};

}  // namespace quillon::printer
