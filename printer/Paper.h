#pragma once
// What the printer put on paper, in the order it came out: the model produces it, the
// renderer draws it. Positions and sizes are in printer dots (203 per inch).

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace quillon::printer {

enum class Align : uint8_t { kLeft, kCenter, kRight };
enum class FontKind : uint8_t { kA, kB, kCjk };

struct FontCell {
    int width;
    int height;
};
// Cell sizes of a printer's resident fonts (a thermal printer's unless told).
struct FontCells {
    FontCell a{12, 24};
    FontCell b{9, 17};
    FontCell cjk{24, 24};
    FontCell Of(FontKind font) const;
};

enum GlyphStyle : uint8_t {
    kBold = 1,
    kUnderline = 2,       // one dot
    kUnderlineThick = 4,  // two dots
    kReverse = 8,
};

struct Glyph {
    char32_t code;
    int16_t x;  // left edge on the paper
    FontKind font;
    uint8_t scaleW;
    uint8_t scaleH;
    uint8_t style;
};

// One-bit image, rows of (width + 7) / 8 bytes, most significant bit leftmost; 1 is black.
struct Raster {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits;
    int RowBytes() const { return (width + 7) / 8; }
    bool At(int x, int y) const {
        return (bits[static_cast<size_t>(y) * RowBytes() + x / 8] >> (7 - x % 8)) & 1;
    }
};

// A bit image printed as part of a text line (ESC *).
struct LineImage {
    int x;
    int scaleW;
    int scaleH;
    Raster raster;
};

struct TextLine {
    std::vector<Glyph> glyphs;
    std::vector<LineImage> images;
    int height = 0;           // the tallest thing on the line
    int advance = 0;          // how far the paper moves after the line
    bool upsideDown = false;  // turned half a turn within its own band (ESC {)
    int right = 0;            // where what was put on the line ends, past the paper's edge too
};

struct Feed {
    int dots;
};

struct ImageBlock {
    Raster raster;
    int scaleW = 1;
    int scaleH = 1;
    Align align = Align::kLeft;
};

// Barcode types by their GS k number in the second form (65 UPC-A ... 73 CODE128).
struct Barcode {
    int type;
    std::string data;
    int height;
    int moduleWidth;
    int hriPosition;  // 0 none, 1 above, 2 below, 3 both
    FontKind hriFont;
    Align align;
};

struct QrCode {
    std::string data;
    int moduleSize;
    char level;  // 'L', 'M', 'Q' or 'H'
    Align align;
};

// A PDF417 symbol; columns and rows 0 = as many as the data needs.
struct Pdf417 {
    std::string data;
    int columns;
    int rows;
    int moduleWidth;  // dots
    int rowHeight;    // dots
    int level;        // error correction 0 to 8; -1 = by the amount of data
    bool truncated;   // the right-hand row indicators and stop pattern left out
    Align align;
};

struct Cut {
    bool partial;
};

struct DrawerKick {
    int pin;  // 2 or 5
    int onMs;
};

// A command that was skipped or could not be carried out, shown where it came.
struct Marker {
    std::string text;
};

using Element =
    std::variant<TextLine, Feed, ImageBlock, Barcode, QrCode, Pdf417, Cut, DrawerKick, Marker>;

// A stretch of paper: a whole job, or part of a long one.
struct Page {
    int job = 0;          // counts from 1
    int part = 0;         // counts from 1 within the job
    bool jobEnd = false;  // the job ends with this page
    int paperWidth = 0;
    FontCells cells;  // of the printer that printed it
    std::vector<Element> elements;
};

}  // namespace quillon::printer
