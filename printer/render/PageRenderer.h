#pragma once
// Draws a page of printed paper to a one-bit image as wide as the paper, with a dashed line
// where the paper was cut and a note where the drawer was kicked or a command skipped.

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

#include "printer/Paper.h"
#include "printer/render/GlyphCache.h"
#include "printer/render/MonoCanvas.h"
#include "printer/render/SymbolEncoder.h"

namespace quillon::printer {

class PageRenderer {
  public:
    static constexpr int kMaxHeight = 12000;  // dots, about 1.5 m of paper

    // The page as a one-bit image (QImage::Format_Mono), white paper, black print.
    QImage Render(const Page& page);

  private:
    // Lays the page out from the top; draws too when a canvas is given. Returns the height.
    int Layout(const Page& page, MonoCanvas* c);
    void DrawLine(MonoCanvas& c, const TextLine& line, int y, int paperWidth);
    void DrawUpright(MonoCanvas& c, const TextLine& line, int y);
    void DrawText(MonoCanvas& c, const std::string& text, FontKind font, FontCell cell, int x,
                  int y);
    // Each returns the height it takes; with no canvas it only measures.
    int PlaceImage(MonoCanvas* c, const ImageBlock& image, int y, int paperWidth);
    int PlaceBarcode(MonoCanvas* c, const Barcode& b, int y, int paperWidth);
    int PlaceQr(MonoCanvas* c, const QrCode& q, int y, int paperWidth);
    int PlacePdf417(MonoCanvas* c, const Pdf417& pdf, int y, int paperWidth);
    int PlaceCut(MonoCanvas* c, const Cut& cut, int y, int paperWidth);
    int PlaceNote(MonoCanvas* c, const std::string& text, int y, int paperWidth);
    // Content wider than the paper is drawn up to its edge; this notes what was cut off
    // below it and returns the note's height (0 when it fits).
    int PlaceOverflow(MonoCanvas* c, const char* what, int width, int y, int paperWidth);

    // A page's barcodes and QR codes are encoded once, as it is measured, and drawn from
    // there in the same order.
    const ModuleGrid& Symbol(bool drawing, const std::function<ModuleGrid()>& encode);

    GlyphCache glyphs_;
    FontCells cells_;  // the fonts of the printer whose page is drawn
    std::vector<ModuleGrid> symbols_;
    size_t nextSymbol_ = 0;
};

// The image as PNG with the fastest compression: a page of black and white costs a third of
// the time to encode and takes only a little more room. Empty when it cannot be encoded.
QByteArray EncodePng(const QImage& image);
// Writes the image as PNG; false when the file cannot be written.
bool SavePng(const QImage& image, const QString& path);

}  // namespace quillon::printer
