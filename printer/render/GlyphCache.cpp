#include "printer/render/GlyphCache.h"

#include <QPainter>

#include <algorithm>

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

QFont GlyphCache::FontFor(FontKind font, FontCell cell, bool bold) {
    // As large as the cell allows: a monospaced letter is about 3/5 of its size wide and
    // 5/6 of it tall with its ascent and descent; a Chinese character is square.
    QFont f = font == FontKind::kCjk
                  ? MakeFont("Noto Sans CJK SC", std::min(cell.width, cell.height) - 2)
                  : MakeFont("DejaVu Sans Mono", std::min(cell.height * 5 / 6, cell.width * 5 / 3));
    f.setBold(bold);
    return f;
}

BitView GlyphCache::Glyph(char32_t code, FontKind font, FontCell cell, bool bold) {
    const quint64 key = quint64(code) << 32 | quint64(cell.width & 0xFFF) << 20 |
                        quint64(cell.height & 0xFFF) << 8 | quint64(font) << 2 | (bold ? 2 : 0);
    auto found = cells_.find(key);
    if (found == cells_.end())
        found = cells_.insert(key, Draw(code, cell, FontFor(font, cell, bold)));
    return {found->bits.data(), found->width, found->height, found->rowBytes};
}

GlyphCache::Cell GlyphCache::Draw(char32_t code, FontCell cell, const QFont& face) {
    QImage image(cell.width, cell.height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    if (code > 0x20 && code != 0x7F && code != 0xFFFD) {
        QPainter p(&image);
        p.setFont(face);
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
    // Ink where the glyph covers at least half of a dot, as a printer's head would print it.
    Cell out{cell.width, cell.height, (cell.width + 7) / 8, {}};
    out.bits.assign(static_cast<size_t>(out.rowBytes) * cell.height, 0);
    for (int y = 0; y < cell.height; ++y)
        for (int x = 0; x < cell.width; ++x)
            if (qAlpha(image.pixel(x, y)) >= 128)
                out.bits[static_cast<size_t>(y) * out.rowBytes + x / 8] |=
                    static_cast<uint8_t>(0x80 >> (x % 8));
    return out;
}

}  // namespace quillon::printer
