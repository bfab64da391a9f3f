#include "printer/render/GlyphCache.h"

#include <QPainter>

namespace quillon::printer {
namespace {

QFont MakeFont(const QString& family, int pixelSize) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

}  // namespace

GlyphCache::GlyphCache()
    : fontA_(MakeFont("DejaVu Sans Mono", 20)),
      fontB_(MakeFont("DejaVu Sans Mono", 14)),
      cjk_(MakeFont("Noto Sans CJK SC", 22)) {}

QFont GlyphCache::FontFor(FontKind font, bool bold) const {
    QFont f = font == FontKind::kA ? fontA_ : font == FontKind::kB ? fontB_ : cjk_;
    f.setBold(bold);
    return f;
}

const QImage& GlyphCache::Glyph(char32_t code, FontKind font, bool bold, bool white) {
    const quint64 key = quint64(code) << 8 | quint64(font) << 2 | (bold ? 2 : 0) | (white ? 1 : 0);
    auto found = cells_.find(key);
    if (found != cells_.end())
        return *found;
    const FontCell cell = CellOf(font);
    QImage image(cell.width, cell.height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    if (code > 0x20 && code != 0x7F && code != 0xFFFD) {
        QPainter p(&image);
        p.setFont(FontFor(font, bold));
        p.setPen(Qt::black);
        const char32_t text[1] = {code};
        p.drawText(QRect(0, 0, cell.width, cell.height), Qt::AlignCenter,
                   QString::fromUcs4(text, 1));
    } else if (code == 0xFFFD) {
        // A character the printer has no glyph for: an empty box, as printers show it.
        QPainter p(&image);
        p.setPen(Qt::black);
        p.drawRect(1, cell.height / 4, cell.width - 3, cell.height / 2);
    }
    if (white)
        image.invertPixels(QImage::InvertRgb);
    return *cells_.insert(key, image);
}

}  // namespace quillon::printer
