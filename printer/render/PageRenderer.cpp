#include "printer/render/PageRenderer.h"

#include <QBuffer>

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

// Notes are the virtual printer's own, in a thermal printer's font B whatever the page.
constexpr FontCell kNoteCell = FontCells{}.b;

// A note's text in rows of at most `perRow` characters, broken at blanks where it can be;
// a few rows at most, so that a note stays a note on the narrowest paper.
std::vector<std::string> NoteRows(const std::string& text, size_t perRow) {
    constexpr size_t kMaxRows = 4;
    std::vector<std::string> rows;
    size_t at = 0;
    do {
        size_t end = std::min(text.size(), at + perRow);
        if (end < text.size()) {
            const size_t blank = text.rfind(' ', end);
            if (blank != std::string::npos && blank > at)
                end = blank;
        }
        rows.push_back(text.substr(at, end - at));
        at = text.find_first_not_of(' ', end);
    } while (at != std::string::npos && rows.size() < kMaxRows);
    return rows;
}

BitView ViewOf(const Raster& raster) {
    return {raster.bits.data(), raster.width, raster.height, raster.RowBytes()};
}

}  // namespace

QImage PageRenderer::Render(const Page& page) {
    const int width = std::max(page.paperWidth, 8);
    // Pages end at about 4000 dots, but one element (a tall image) can reach far beyond; the
    // drawing stops at kMaxHeight so that memory stays bounded.
    symbols_.clear();
    cells_ = page.cells;
    const int height = std::clamp(Layout(page, nullptr), 1, kMaxHeight);
    MonoCanvas canvas(width, height);
    nextSymbol_ = 0;
    Layout(page, &canvas);
    return canvas.Take();
}

int PageRenderer::Layout(const Page& page, MonoCanvas* p) {
    const int width = page.paperWidth;
    int y = 0;
    int bottom = 0;
    for (const Element& e : page.elements) {
        if (const auto* line = std::get_if<TextLine>(&e)) {
            if (p)
                DrawLine(*p, *line, y, width);
            bottom = std::max(bottom, y + line->height);
            // What ran past the edge is noted below the line, clear of its ink.
            if (line->right > width) {
                y = std::max(y + line->advance, bottom);
                y += PlaceOverflow(p, "text", line->right, y, width);
                bottom = y;
                continue;
            }
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

void PageRenderer::DrawLine(MonoCanvas& c, const TextLine& line, int y, int paperWidth) {
    if (!line.upsideDown) {
        DrawUpright(c, line, y);
        return;
    }
    // An upside-down line is drawn as any other on a band of its own, then put in place turned
    // half a turn about the middle of the band.
    MonoCanvas band(paperWidth, line.height);
    DrawUpright(band, line, 0);
    const QImage turned = band.Take().mirrored(true, true);
    c.Draw(BitView{turned.constBits(), turned.width(), turned.height(),
                   static_cast<int>(turned.bytesPerLine())},
           0, y, 1, 1, MonoCanvas::Op::kInk);
}

void PageRenderer::DrawUpright(MonoCanvas& c, const TextLine& line, int y) {
    for (const Glyph& g : line.glyphs) {
        const FontCell cell = cells_.Of(g.font);
        const int w = cell.width * g.scaleW;
        const int h = cell.height * g.scaleH;
        const int top = y + line.height - h;
        const bool reverse = g.style & kReverse;
        if (reverse)
            c.Fill(g.x, top, w, h, true);
        c.Draw(glyphs_.Glyph(g.code, g.font, cell, g.style & kBold), g.x, top, g.scaleW, g.scaleH,
               reverse ? MonoCanvas::Op::kErase : MonoCanvas::Op::kInk);
        if (g.style & (kUnderline | kUnderlineThick)) {
            const int thick = (g.style & kUnderlineThick) ? 2 : 1;
            c.Fill(g.x, top + h - thick, w, thick, !reverse);
        }
    }
    for (const LineImage& image : line.images) {
        const int h = image.raster.height * image.scaleH;
        c.Draw(ViewOf(image.raster), image.x, y + line.height - h, image.scaleW, image.scaleH,
               MonoCanvas::Op::kCopy);
    }
}

void PageRenderer::DrawText(MonoCanvas& c, const std::string& text, FontKind font, FontCell cell,
                            int x, int y) {
    for (unsigned char ch : text) {
        c.Draw(glyphs_.Glyph(ch < 0x80 ? ch : 0xFFFD, font, cell, false), x, y, 1, 1,
               MonoCanvas::Op::kInk);
        x += cell.width;
    }
}

int PageRenderer::PlaceImage(MonoCanvas* c, const ImageBlock& block, int y, int paperWidth) {
    const int w = block.raster.width * block.scaleW;
    const int h = block.raster.height * block.scaleH;
    if (c)
        c->Draw(ViewOf(block.raster), AlignedX(block.align, w, paperWidth), y, block.scaleW,
                block.scaleH, MonoCanvas::Op::kCopy);
    return h + PlaceOverflow(c, "image", w, y + h, paperWidth);
}

int PageRenderer::PlaceOverflow(MonoCanvas* c, const char* what, int width, int y, int paperWidth) {
    if (width <= paperWidth)
        return 0;
    return PlaceNote(c,
                     std::string(what) + " " + std::to_string(width) + " dots wide on " +
                         std::to_string(paperWidth) + ": cut at the edge",
                     y, paperWidth);
}

const ModuleGrid& PageRenderer::Symbol(bool drawing, const std::function<ModuleGrid()>& encode) {
    if (!drawing) {
        symbols_.push_back(encode());
        return symbols_.back();
    }
    return symbols_[nextSymbol_++];
}

int PageRenderer::PlaceBarcode(MonoCanvas* p, const Barcode& b, int y, int paperWidth) {
    const ModuleGrid& grid = Symbol(p, [&] { return EncodeBarcode(b); });
    const int width = grid.width * b.moduleWidth;
    if (!grid.error.empty())
        return PlaceNote(p, "barcode not printed: " + grid.error, y, paperWidth);
    const FontCell hri = cells_.Of(b.hriFont);
    const int textHeight = hri.height;
    const int textWidth = static_cast<int>(grid.text.size()) * hri.width;
    const int x = AlignedX(b.align, width, paperWidth);
    const int textX = std::max(0, x + (width - textWidth) / 2);
    int at = y;
    if (b.hriPosition & 1) {
        if (p)
            DrawText(*p, grid.text, b.hriFont, hri, textX, at);
        at += textHeight;
    }
    if (p)
        for (int m = 0; m < grid.width; ++m)
            if (grid.dark[m])
                p->Fill(x + m * b.moduleWidth, at, b.moduleWidth, b.height, true);
    at += b.height;
    if (b.hriPosition & 2) {
        if (p)
            DrawText(*p, grid.text, b.hriFont, hri, textX, at);
        at += textHeight;
    }
    return at - y + PlaceOverflow(p, "barcode", width, at, paperWidth);
}

int PageRenderer::PlaceQr(MonoCanvas* p, const QrCode& q, int y, int paperWidth) {
    const ModuleGrid& grid = Symbol(p, [&] { return EncodeQr(q); });
    const int side = grid.width * q.moduleSize;
    if (!grid.error.empty())
        return PlaceNote(p, "QR code not printed: " + grid.error, y, paperWidth);
    if (p) {
        const int x = AlignedX(q.align, side, paperWidth);
        for (int row = 0; row < grid.height; ++row)
            for (int col = 0; col < grid.width; ++col)
                if (grid.At(col, row))
                    p->Fill(x + col * q.moduleSize, y + row * q.moduleSize, q.moduleSize,
                            q.moduleSize, true);
    }
    return side + PlaceOverflow(p, "QR code", side, y + side, paperWidth);
}

int PageRenderer::PlacePdf417(MonoCanvas* p, const Pdf417& pdf, int y, int paperWidth) {
    const ModuleGrid& grid = Symbol(p, [&] { return EncodePdf417(pdf); });
    const int width = grid.width * pdf.moduleWidth;
    if (!grid.error.empty())
        return PlaceNote(p, "PDF417 not printed: " + grid.error, y, paperWidth);
    if (p) {
        const int x = AlignedX(pdf.align, width, paperWidth);
        for (int row = 0; row < grid.height; ++row)
            for (int col = 0; col < grid.width; ++col)
                if (grid.At(col, row))
                    p->Fill(x + col * pdf.moduleWidth, y + row * pdf.rowHeight, pdf.moduleWidth,
                            pdf.rowHeight, true);
    }
    const int height = grid.height * pdf.rowHeight;
    return height + PlaceOverflow(p, "PDF417", width, y + height, paperWidth);
}

int PageRenderer::PlaceCut(MonoCanvas* p, const Cut& cut, int y, int paperWidth) {
    constexpr int kHeight = 16;
    if (p) {
        // A partial cut leaves the middle of the paper standing.
        const int middle = paperWidth / 2;
        for (int x = 0; x < paperWidth; x += 12)
            if (!cut.partial || std::abs(x + 4 - middle) > 24)
                p->Fill(x, y + kHeight / 2 - 1, 8, 2, true);
    }
    return kHeight;
}

int PageRenderer::PlaceNote(MonoCanvas* p, const std::string& text, int y, int paperWidth) {
    const std::vector<std::string> rows =
        NoteRows(text, static_cast<size_t>(std::max(1, paperWidth / kNoteCell.width - 2)));
    const int height = static_cast<int>(rows.size()) * kNoteCell.height + 4;
    if (p) {
        // A one-dot frame from the left edge to the right one, height - 1 dots tall.
        p->Fill(0, y, paperWidth, 1, true);
        p->Fill(0, y + height - 2, paperWidth, 1, true);
        p->Fill(0, y, 1, height - 1, true);
        p->Fill(paperWidth - 1, y, 1, height - 1, true);
        for (size_t i = 0; i < rows.size(); ++i)
            DrawText(*p, rows[i], FontKind::kB, kNoteCell, 4,
                     y + 1 + static_cast<int>(i) * kNoteCell.height);
    }
    return height;
}

namespace {
constexpr int kFastestPng = 85;  // Qt's quality for PNG: 80 to 89 is zlib's level 1, its fastest
}

QByteArray EncodePng(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG", kFastestPng))
        return {};
    return png;
}

bool SavePng(const QImage& image, const QString& path) {
    return image.save(path, "PNG", kFastestPng);
}

}  // namespace quillon::printer
