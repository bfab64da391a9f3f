#pragma once
// The printer itself: takes tokens in order and carries them out — text with its attributes,
// feeds, images, barcodes, cuts, drawer kicks — producing pages of paper and the answers to
// the status commands that are answered in order (GS r, GS I, ESC v, GS a).

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "escpos/CodePages.h"
#include "escpos/Tokenizer.h"
#include "printer/Geometry.h"
#include "printer/LineBuilder.h"
#include "printer/PageBuilder.h"
#include "printer/PrinterStatus.h"

namespace quillon::printer {

using escpos::CodePageFor;
using escpos::CodePageTable;
using escpos::DecodeGb18030;
using escpos::Gb18030Length;
using escpos::Token;
using escpos::TokenKind;
using escpos::TokenSink;

// Where the model's results go.
class ModelOutput {
  public:
    virtual ~ModelOutput() = default;
    virtual void Answer(const uint8_t* bytes, size_t size) = 0;
    virtual void PageDone(Page&& page) = 0;
    virtual void DrawerKicked(int onMs) = 0;
};

struct TextStyle {
    FontKind font = FontKind::kA;
    bool bold = false;
    int underline = 0;  // 0, 1 or 2 dots
    int scaleW = 1;
    int scaleH = 1;
    bool reverse = false;
};

// What FS ! and FS - set for Chinese characters alone (GS ! sets both these and the others').
struct ChineseStyle {
    int underline = 0;
    int scaleW = 1;
    int scaleH = 1;
};

struct BarcodeSettings {
    int height = 162;
    int moduleWidth = 3;
    int hriPosition = 0;
    FontKind hriFont = FontKind::kA;
};

struct QrSettings {
    int moduleSize = 3;
    char level = 'L';
    std::string data;
};

struct Pdf417Settings {
    int columns = 0;
    int rows = 0;
    int moduleWidth = 3;
    int rowHeight = 3;  // times the module width
    int level = -1;
    bool truncated = false;
    std::string data;
};

// How a character in the current style sits on the line.
struct GlyphShape {
    Glyph glyph{};
    int width = 0;
    int height = 0;
    int advance = 0;
};

class PrinterModel : public TokenSink {
  public:
    PrinterModel(const Geometry& geometry, Family family, const PrinterState& state,
                 ModelOutput& output);

    void OnToken(const Token& token) override;
    // A pause in the data: what has been printed so far becomes a job.
    void EndJob() { pages_.EndJob(); }
    // Puts the drawer marker at the current place on the paper.
    void MarkDrawerKick(int pin, int onMs);

    // What the tests and the window look at.
    const TextStyle& Style() const { return style_; }
    Align Alignment() const { return align_; }
    int LineSpacing() const { return lineSpacing_; }
    bool ChineseMode() const { return chinese_; }
    int CodePage() const { return codePage_; }
    uint8_t AsbMask() const { return asbMask_; }
    const BarcodeSettings& BarcodeSetup() const { return barcode_; }
    const QrSettings& Qr() const { return qr_; }
    bool LineEmpty() const { return line_.Empty(); }
    // The page printed since the last cut (lines not yet ended are not on it).
    const PageBuilder& Pages() const { return pages_; }
    int PaperWidth() const { return paperWidth_; }

  private:
    void Reset();
    void Text(const uint8_t* data, size_t size);
    void Control(uint8_t byte);
    void Command(const Token& token);
    void EscCommand(const Token& token);
    void GsCommand(const Token& token);
    void FsCommand(const Token& token);
    void Unknown(const Token& token);

    void SetArea();
    void PutChar(char32_t code, FontKind font);
    GlyphShape ShapeFor(FontKind font) const;
    void Place(const GlyphShape& shape, char32_t code);
    void DropPartialChar();
    // Prints the line buffer; `advance` < 0 feeds by the line spacing (at least the line).
    void PrintLine(int advance = -1);
    void FeedDots(int dots);
    void Add(Element element, int height);
    void AddMarker(const std::string& what, const Token& token);
    void Answer(const std::string& bytes);
    void DoCut(const Token& token);

    // Graphics and symbols (ModelGraphics.cpp).
    void RasterImage(const Token& token);
    void ColumnImage(const Token& token);
    void GraphicsCommand(const Token& token, size_t params);
    void BarcodeCommand(const Token& token);
    void Pdf417Command(const Token& token, uint8_t fn, uint8_t n);
    void SymbolCommand(const Token& token);
    void PrintImage(Raster raster, int scaleW, int scaleH);

    Geometry geometry_;
    int paperWidth_;
    Family family_;
    const PrinterState& state_;
    ModelOutput& output_;
    PageBuilder pages_;
    LineBuilder line_;

    TextStyle style_;
    ChineseStyle chineseStyle_;
    bool upsideDown_ = false;      // ESC {
    bool lineUpsideDown_ = false;  // as it was when the line in progress began
    Align align_ = Align::kLeft;
    int lineSpacing_ = 30;
    int rightSpacing_ = 0;
    int leftMargin_ = 0;
    int areaWidth_ = 0;
    int areaAsked_ = 0;  // by GS W; the area is what of it the margin leaves on the paper
    std::vector<int> tabs_;
    bool chinese_ = false;
    int codePage_ = 0;
    const CodePageTable* table_ = nullptr;
    uint8_t partial_[4] = {};  // a GB18030 character not yet complete
    size_t partialSize_ = 0;
    uint8_t asbMask_ = 0;
    BarcodeSettings barcode_;
    QrSettings qr_;
    Pdf417Settings pdf417_;
    Raster graphics_;  // the graphics buffer of GS ( L function 112
    int graphicsScaleW_ = 1;
    int graphicsScaleH_ = 1;
    std::map<uint16_t, Raster> nvGraphics_;
    size_t nvBytes_ = 0;
};

}  // namespace quillon::printer
