#include "printer/render/PageRenderer.h"

#include <QPainter>

#include <algorithm>

#include "printer/render/SymbolEncoder.h"

namespace quillon::printer {
namespace {

int AlignedX(Align align, int width, int paperWidth) {
    switch (align) {
        case Align::kCenter:
            return std::max(0, (paperWidth - width) / 2);
        case Align::kRight:
            return std::max(0, paperWidth - width);
        default:
            return 0;
    }
}

QImage MonoImage(const Raster& raster) {
    QImage image(raster.width, raster.height, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const int rowBytes = raster.RowBytes();
    for (int y = 0; y < raster.height; ++y)
        std::copy_n(raster.bits.data() + static_cast<size_t>(y) * rowBytes, rowBytes,
                    image.scanLine(y));
    return image;
}

}  // namespace

QImage PageRenderer::Render(const Page& page) {
    const int width = std::max(page.paperWidth, 8);
    // Pages end at about 4000 dots, but one element (a tall image) can reach far beyond; the
    // drawing stops at kMaxHeight so that memory stays bounded.
    const int height = std::clamp(Layout(page, nullptr), 1, kMaxHeight);
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        Layout(page, &p);
    }
    return canvas.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
}

int PageRenderer::Layout(const Page& page, QPainter* p) {
    const int width = page.paperWidth;
    int y = 0;
    int bottom = 0;
    for (const Element& e : page.elements) {
        if (const auto* line = std::get_if<TextLine>(&e)) {
            if (p)
                DrawLine(*p, *line, y, width);
            bottom = std::max(bottom, y + line->height);
            y += line->advance;
            continue;
        }
        int taken = 0;
        if (const auto* feed = std::get_if<Feed>(&e))
            taken = feed->dots;
        else if (const auto* image = std::get_if<ImageBlock>(&e))
            taken = PlaceImage(p, *image, y, width);
        else if (const auto* barcode = std::get_if<Barcode>(&e))
            taken = PlaceBarcode(p, *barcode, y, width);
        else if (const auto* qr = std::get_if<QrCode>(&e))
            taken = PlaceQr(p, *qr, y, width);
        else if (const auto* pdf = std::get_if<Pdf417>(&e))
            taken = PlacePdf417(p, *pdf, y, width);
        else if (const auto* cut = std::get_if<Cut>(&e))
            taken = PlaceCut(p, *cut, y, width);
        else if (const auto* kick = std::get_if<DrawerKick>(&e))
            taken = PlaceNote(p,
                              "drawer kick: pin " + std::to_string(kick->pin) + ", " +
                                  std::to_string(kick->onMs) + " ms",
                              y, width);
        else if (const auto* marker = std::get_if<Marker>(&e))
            taken = PlaceNote(p, "skipped: " + marker->text, y, width);
        y += taken;
        bottom = std::max(bottom, y);
    }
    return std::max(bottom, y);
}

void PageRenderer::DrawLine(QPainter& p, const TextLine& line, int y, int paperWidth) {
    // An upside-down line is drawn as any other, half a turn about the middle of its band.
    if (line.upsideDown) {
        p.save();
        p.translate(paperWidth, 2 * y + line.height);
        p.rotate(180);
    }
    for (const Glyph& g : line.glyphs) {
        const FontCell cell = CellOf(g.font);
        const int w = cell.width * g.scaleW;
        const int h = cell.height * g.scaleH;
        const int top = y + line.height - h;
        const bool reverse = g.style & kReverse;
        if (reverse)
            p.fillRect(g.x, top, w, h, Qt::black);
        p.drawImage(QRect(g.x, top, w, h), glyphs_.Glyph(g.code, g.font, g.style & kBold, reverse));
        if (g.style & (kUnderline | kUnderlineThick)) {
            const int thick = (g.style & kUnderlineThick) ? 2 : 1;
            p.fillRect(g.x, top + h - thick, w, thick, reverse ? Qt::white : Qt::black);
        }
    }
    for (const LineImage& image : line.images) {
        const int w = image.raster.width * image.scaleW;
        const int h = image.raster.height * image.scaleH;
        p.drawImage(QRect(image.x, y + line.height - h, w, h), MonoImage(image.raster));
    }
    if (line.upsideDown)
        p.restore();
}

void PageRenderer::DrawText(QPainter& p, const std::string& text, FontKind font, int x, int y) {
    const FontCell cell = CellOf(font);
    for (unsigned char c : text) {
        p.drawImage(QPoint(x, y), glyphs_.Glyph(c < 0x80 ? c : 0xFFFD, font, false));
        x += cell.width;
    }
}

int PageRenderer::PlaceImage(QPainter* p, const ImageBlock& block, int y, int paperWidth) {
    const int w = block.raster.width * block.scaleW;
    const int h = block.raster.height * block.scaleH;
    if (p)
        p->drawImage(QRect(AlignedX(block.align, w, paperWidth), y, w, h), MonoImage(block.raster));
    return h;
}

int PageRenderer::PlaceBarcode(QPainter* p, const Barcode& b, int y, int paperWidth) {
    const ModuleGrid grid = EncodeBarcode(b);
    const int width = grid.width * b.moduleWidth;
    if (!grid.error.empty() || width > paperWidth)
        return PlaceNote(p,
                         "barcode not printed: " + (grid.error.empty() ? "too wide" : grid.error),
                         y, paperWidth);
    const int textHeight = CellOf(b.hriFont).height;
    const int textWidth = static_cast<int>(grid.text.size()) * CellOf(b.hriFont).width;
    const int x = AlignedX(b.align, width, paperWidth);
    const int textX = std::max(0, x + (width - textWidth) / 2);
    int at = y;
    if (b.hriPosition & 1) {
        if (p)
            DrawText(*p, grid.text, b.hriFont, textX, at);
        at += textHeight;
    }
    if (p)
        for (int m = 0; m < grid.width; ++m)
            if (grid.dark[m])
                p->fillRect(x + m * b.moduleWidth, at, b.moduleWidth, b.height, Qt::black);
    at += b.height;
    if (b.hriPosition & 2) {
        if (p)
            DrawText(*p, grid.text, b.hriFont, textX, at);
        at += textHeight;
    }
    return at - y;
}

int PageRenderer::PlaceQr(QPainter* p, const QrCode& q, int y, int paperWidth) {
    const ModuleGrid grid = EncodeQr(q);
    const int side = grid.width * q.moduleSize;
    if (!grid.error.empty() || side > paperWidth)
        return PlaceNote(p,
                         "QR code not printed: " + (grid.error.empty() ? "too large" : grid.error),
                         y, paperWidth);
    if (p) {
        const int x = AlignedX(q.align, side, paperWidth);
        for (int row = 0; row < grid.height; ++row)
            for (int col = 0; col < grid.width; ++col)
                if (grid.At(col, row))
                    p->fillRect(x + col * q.moduleSize, y + row * q.moduleSize, q.moduleSize,
                                q.moduleSize, Qt::black);
    }
    return side;
}

int PageRenderer::PlacePdf417(QPainter* p, const Pdf417& pdf, int y, int paperWidth) {
    const ModuleGrid grid = EncodePdf417(pdf);
    const int width = grid.width * pdf.moduleWidth;
    if (!grid.error.empty() || width > paperWidth)
        return PlaceNote(p, "PDF417 not printed: " + (grid.error.empty() ? "too wide" : grid.error),
                         y, paperWidth);
    if (p) {
        const int x = AlignedX(pdf.align, width, paperWidth);
        for (int row = 0; row < grid.height; ++row)
            for (int col = 0; col < grid.width; ++col)
                if (grid.At(col, row))
                    p->fillRect(x + col * pdf.moduleWidth, y + row * pdf.rowHeight, pdf.moduleWidth,
                                pdf.rowHeight, Qt::black);
    }
    return grid.height * pdf.rowHeight;
}

int PageRenderer::PlaceCut(QPainter* p, const Cut& cut, int y, int paperWidth) {
    constexpr int kHeight = 16;
    if (p) {
        // A partial cut leaves the middle of the paper standing.
        const int middle = paperWidth / 2;
        for (int x = 0; x < paperWidth; x += 12)
            if (!cut.partial || std::abs(x + 4 - middle) > 24)
                p->fillRect(x, y + kHeight / 2 - 1, 8, 2, Qt::black);
    }
    return kHeight;
}

int PageRenderer::PlaceNote(QPainter* p, const std::string& text, int y, int paperWidth) {
    const int height = CellOf(FontKind::kB).height + 4;
    if (p) {
        p->setPen(Qt::black);
        p->drawRect(0, y, paperWidth - 1, height - 2);
        DrawText(*p, text.substr(0, paperWidth / CellOf(FontKind::kB).width - 2), FontKind::kB, 4,
                 y + 1);
    }
    return height;
}

bool SavePng(const QImage& image, const QString& path) {
    return image.save(path, "PNG");
}

}  // namespace quillon::printer
