#pragma once
// Draws a page of printed paper to a one-bit image as wide as the paper, with a dashed line
// where the paper was cut and a note where the drawer was kicked or a command skipped.

#include <QImage>
#include <QString>

#include "printer/Paper.h"
#include "printer/render/GlyphCache.h"

class QPainter;

namespace quillon::printer {

class PageRenderer {
  public:
    static constexpr int kMaxHeight = 12000;  // dots, about 1.5 m of paper

    // The page as a one-bit image (QImage::Format_Mono), white paper, black print.
    QImage Render(const Page& page);

  private:
    // Lays the page out from the top; draws too when a painter is given. Returns the height.
    int Layout(const Page& page, QPainter* p);
    void DrawLine(QPainter& p, const TextLine& line, int y, int paperWidth);
    void DrawText(QPainter& p, const std::string& text, FontKind font, int x, int y);
    // Each returns the height it takes; with a null painter it only measures.
    int PlaceImage(QPainter* p, const ImageBlock& image, int y, int paperWidth);
    int PlaceBarcode(QPainter* p, const Barcode& b, int y, int paperWidth);
    int PlaceQr(QPainter* p, const QrCode& q, int y, int paperWidth);
    int PlacePdf417(QPainter* p, const Pdf417& pdf, int y, int paperWidth);
    int PlaceCut(QPainter* p, const Cut& cut, int y, int paperWidth);
    int PlaceNote(QPainter* p, const std::string& text, int y, int paperWidth);

    GlyphCache glyphs_;
};

// Writes the image as PNG; false when the file cannot be written.
bool SavePng(const QImage& image, const QString& path);

}  // namespace quillon::printer
