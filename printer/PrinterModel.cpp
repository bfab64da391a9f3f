#include "printer/PrinterModel.h"

#include <algorithm>
#include <cstdio>

#include "escpos/CommandTable.h"

namespace quillon::printer {

using escpos::kEsc;
using escpos::kFs;
using escpos::kGs;

namespace {

uint8_t Param(const Token& t, size_t i) {
    return i < t.size ? t.data[i] : 0;
}

std::string Hex(const Token& t) {
    std::string text;
    const size_t shown = std::min<size_t>(t.size, 8);
    for (size_t i = 0; i < shown; ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02X", t.data[i]);
        text += (i ? " " : "") + std::string(buf);
    }
    if (t.size > shown)
        text += " ...";
    return text;
}

Align AlignOf(uint8_t n) {
    switch (n) {
        case 1:
        case '1':
            return Align::kCenter;
        case 2:
        case '2':
            return Align::kRight;
        default:
            return Align::kLeft;
    }
}

}  // namespace

PrinterModel::PrinterModel(const Geometry& geometry, Family family, const PrinterState& state,
                           ModelOutput& output)
    : geometry_(geometry),
      paperWidth_(geometry.dots),
      family_(family),
      state_(state),
      output_(output),
      pages_(paperWidth_, geometry.cells,
             [this](Page&& page) { output_.PageDone(std::move(page)); }) {
    Reset();
}

void PrinterModel::Reset() {
    style_ = TextStyle{};
    chineseStyle_ = ChineseStyle{};
    upsideDown_ = false;
    align_ = Align::kLeft;
    lineSpacing_ = 30;
    rightSpacing_ = 0;
    leftMargin_ = 0;
    areaAsked_ = paperWidth_;
    line_ = LineBuilder{};
    SetArea();
    tabs_.clear();
    // A tab stop every eight font A cells.
    const int tab = 8 * geometry_.cells.a.width;
    for (int x = tab; x < paperWidth_; x += tab)
        tabs_.push_back(x);
    chinese_ = family_ != Family::kPosThermal && family_ != Family::kPosImpact;
    codePage_ = 0;
    table_ = CodePageFor(0);
    partialSize_ = 0;
    asbMask_ = 0;
    barcode_ = BarcodeSettings{};
    qr_ = QrSettings{};
    pdf417_ = Pdf417Settings{};
    graphics_ = Raster{};
}

void PrinterModel::OnToken(const Token& token) {
    switch (token.kind) {
        case TokenKind::kText:
            Text(token.data, token.size);
            break;
        case TokenKind::kControl:
            DropPartialChar();
            Control(token.data[0]);
            break;
        case TokenKind::kCommand:
            DropPartialChar();
            Command(token);
            break;
        case TokenKind::kUnknown:
            DropPartialChar();
            Unknown(token);
            break;
    }
}

void PrinterModel::Text(const uint8_t* data, size_t size) {
    if (!chinese_) {
        // One shape for the whole run: nothing in it can change the style.
        const GlyphShape shape = ShapeFor(style_.font);
        const CodePageTable& table = *table_;
        for (size_t i = 0; i < size; ++i)
            Place(shape, table[data[i]]);
        return;
    }
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (partialSize_ == 0) {
            if (b >= 0x81 && b <= 0xFE)
                partial_[partialSize_++] = b;
            else
                PutChar(b < 0x80 ? b : 0xFFFD, style_.font);
            continue;
        }
        partial_[partialSize_++] = b;
        if (partialSize_ == 2) {
            const int length = Gb18030Length(partial_[0], b);
            if (length == 0) {
                // Not a character: the lead byte is lost, the second byte starts afresh.
                partialSize_ = 0;
                PutChar(0xFFFD, FontKind::kCjk);
                --i;
                continue;
            }
            if (length == 4)
                continue;
        } else if (partialSize_ < 4) {
            continue;
        }
        PutChar(DecodeGb18030(partial_, partialSize_), FontKind::kCjk);
        partialSize_ = 0;
    }
}

void PrinterModel::DropPartialChar() {
    partialSize_ = 0;
}

GlyphShape PrinterModel::ShapeFor(FontKind font) const {
    const FontCell cell = geometry_.cells.Of(font);
    // Chinese characters take their size and underline from FS ! and FS -, the others from
    // ESC ! and ESC -.
    const bool chinese = font == FontKind::kCjk;
    const int scaleW = chinese ? chineseStyle_.scaleW : style_.scaleW;
    const int scaleH = chinese ? chineseStyle_.scaleH : style_.scaleH;
    const int underline = chinese ? chineseStyle_.underline : style_.underline;
    GlyphShape shape;
    shape.width = cell.width * scaleW;
    shape.height = cell.height * scaleH;
    shape.advance = shape.width + rightSpacing_ * scaleW;
    uint8_t flags = 0;
    if (style_.bold)
        flags |= kBold;
    if (underline == 1)
        flags |= kUnderline;
    if (underline == 2)
        flags |= kUnderlineThick;
    if (style_.reverse)
        flags |= kReverse;
    shape.glyph =
        Glyph{0, 0, font, static_cast<uint8_t>(scaleW), static_cast<uint8_t>(scaleH), flags};
    return shape;
}

void PrinterModel::SetArea() {
    // The width GS W asked for is kept: a margin that narrowed the area for a while gives
    // it back once it is moved back.
    areaWidth_ = std::clamp(areaAsked_, 1, std::max(1, paperWidth_ - leftMargin_));
    line_.SetArea(leftMargin_, areaWidth_);
}

void PrinterModel::Place(const GlyphShape& shape, char32_t code) {
    // A character that finds no room goes to the next line, unless it was put past the edge
    // (ESC $) or is wider than the whole area: then it stays on its line and is drawn up to
    // the paper's edge.
    if (!line_.Fits(shape.width) && !line_.Positioned() && shape.width <= line_.AreaWidth())
        PrintLine();
    if (line_.Empty())
        lineUpsideDown_ = upsideDown_;  // ESC { counts where a line begins
    Glyph glyph = shape.glyph;
    glyph.code = code;
    line_.AddGlyph(glyph, shape.width, shape.height, shape.advance);
}

void PrinterModel::PutChar(char32_t code, FontKind font) {
    Place(ShapeFor(font), code);
}

void PrinterModel::PrintLine(int advance) {
    if (line_.Empty()) {
        FeedDots(advance < 0 ? lineSpacing_ : advance);
        return;
    }
    TextLine line = line_.Take(align_, advance);
    line.upsideDown = lineUpsideDown_;
    if (advance < 0)
        line.advance = std::max(line.height, lineSpacing_);
    const int height = std::max(line.advance, line.height);
    Add(std::move(line), height);
}

void PrinterModel::FeedDots(int dots) {
    if (dots > 0)
        Add(Feed{dots}, dots);
}

void PrinterModel::Add(Element element, int height) {
    pages_.Add(std::move(element), height);
}

void PrinterModel::AddMarker(const std::string& what, const Token& token) {
    Add(Marker{what + " " + Hex(token)}, 24);
}

void PrinterModel::Answer(const std::string& bytes) {
    if (!bytes.empty())
        output_.Answer(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void PrinterModel::MarkDrawerKick(int pin, int onMs) {
    Add(DrawerKick{pin, onMs}, 24);
}

void PrinterModel::Control(uint8_t byte) {
    switch (byte) {
        case 0x0A:
            PrintLine();
            break;  // LF
        case 0x0C:
            PrintLine();
            break;  // FF ends the line as LF does in standard mode
        case 0x09:
            line_.Tab(tabs_);
            break;
        case 0x18:
            line_ = [&] {  // CAN empties the line buffer
                LineBuilder fresh;
                fresh.SetArea(leftMargin_, areaWidth_);
                return fresh;
            }();
            break;
        default:
            break;  // CR and the rest change nothing on this printer
    }
}

void PrinterModel::Command(const Token& token) {
    switch (token.data[0]) {
        case kEsc:
            EscCommand(token);
            break;
        case kGs:
            GsCommand(token);
            break;
        case kFs:
            FsCommand(token);
            break;
        default:
            break;  // DLE commands are answered the moment they arrive, not here
    }
}

void PrinterModel::Unknown(const Token& token) {
    AddMarker("?", token);
}

void PrinterModel::EscCommand(const Token& t) {
    const uint8_t n = Param(t, 2);
    switch (t.data[1]) {
        case '@':
            Reset();
            break;
        case '!':
            style_.font = (n & 0x01) ? FontKind::kB : FontKind::kA;
            style_.bold = n & 0x08;
            style_.scaleH = (n & 0x10) ? 2 : 1;
            style_.scaleW = (n & 0x20) ? 2 : 1;
            style_.underline = (n & 0x80) ? 1 : 0;
            break;
        case 'E':
        case 'G':
            style_.bold = n & 1;
            break;
        case '{':
            upsideDown_ = n & 1;
            break;
        case '-':
            style_.underline = (n == 1 || n == '1') ? 1 : (n == 2 || n == '2') ? 2 : 0;
            break;
        case 'M':
            style_.font = (n == 1 || n == '1') ? FontKind::kB : FontKind::kA;
            break;
        case 'a':
            align_ = AlignOf(n);
            break;
        case '2':
            lineSpacing_ = 30;
            break;
        case '3':
            lineSpacing_ = n;
            break;
        case ' ':
            rightSpacing_ = n;
            break;
        case 'd':
            PrintLine();
            for (int i = 1; i < n; ++i)
                FeedDots(lineSpacing_);
            break;
        case 'J':
            PrintLine(n);
            break;
        case 'D':
            tabs_.clear();
            for (size_t i = 2; i < t.size && t.data[i] != 0; ++i) {
                const int stop =
                    t.data[i] * (geometry_.cells.Of(style_.font).width + rightSpacing_);
                if (!tabs_.empty() && stop <= tabs_.back())
                    break;
                tabs_.push_back(stop);
            }
            break;
        case '$':
            line_.MoveTo(Param(t, 2) | Param(t, 3) << 8);
            break;
        case '\\': {
            const int16_t delta = static_cast<int16_t>(Param(t, 2) | Param(t, 3) << 8);
            line_.MoveTo(line_.Position() + delta);
            break;
        }
        case 't': {
            const CodePageTable* table = CodePageFor(n);
            if (table) {
                codePage_ = n;
                table_ = table;
            } else {
                AddMarker("code page", t);
            }
            break;
        }
        case '*':
            ColumnImage(t);
            break;
        case 'i':
        case 'm':
            DoCut(t);
            break;
        case 'p': {
            const int pin = (n == 1 || n == '1') ? 5 : 2;
            MarkDrawerKick(pin, Param(t, 3) * 2);
            output_.DrawerKicked(Param(t, 3) * 2);
            break;
        }
        case 'v':
            Answer(std::string(1, static_cast<char>(PaperSensorStatus(state_))));
            break;
        case 'L':
            AddMarker("page mode", t);
            break;
        default:
            break;  // settings that change nothing on this paper (ESC R, ...)
    }
}

void PrinterModel::GsCommand(const Token& t) {
    const uint8_t n = Param(t, 2);
    switch (t.data[1]) {
        case '!':
            style_.scaleW = chineseStyle_.scaleW = ((n >> 4) & 7) + 1;
            style_.scaleH = chineseStyle_.scaleH = (n & 7) + 1;
            break;
        case 'B':
            style_.reverse = n & 1;
            break;
        case 'V':
            DoCut(t);
            break;
        case 'v':
            RasterImage(t);
            break;
        case '(':
            if (t.size >= 3 && t.data[2] == 'L')
                GraphicsCommand(t, 5);
            else if (t.size >= 3 && t.data[2] == 'k')
                SymbolCommand(t);
            break;
        case '8':
            GraphicsCommand(t, 7);
            break;
        case 'k':
            BarcodeCommand(t);
            break;
        case 'h':
            barcode_.height = std::max<int>(1, n);
            break;
        case 'w':
            if (n >= 1 && n <= 6)
                barcode_.moduleWidth = n;
            break;
        case 'H':
            barcode_.hriPosition = n & 3;
            break;
        case 'f':
            barcode_.hriFont = (n == 1 || n == '1') ? FontKind::kB : FontKind::kA;
            break;
        case 'L':
            if (line_.Empty()) {
                // A margin past the paper leaves no room: what follows is drawn up to the
                // edge, that is not at all, and noted.
                leftMargin_ = std::min(Param(t, 2) | Param(t, 3) << 8, paperWidth_);
                SetArea();
            }
            break;
        case 'W':
            if (line_.Empty()) {
                areaAsked_ = Param(t, 2) | Param(t, 3) << 8;
                SetArea();
            }
            break;
        case 'r':
            if (n == 1 || n == '1')
                Answer(std::string(1, static_cast<char>(PaperSensorStatus(state_))));
            else if (n == 2 || n == '2')
                Answer(std::string(1, static_cast<char>(DrawerStatus(state_))));
            break;
        case 'I':
            Answer(IdentityAnswer(family_, n));
            break;
        case 'a': {
            asbMask_ = n & 0x0F;
            if (asbMask_) {
                const auto asb = AutomaticStatus(state_);
                output_.Answer(asb.data(), asb.size());
            }
            break;
        }
        case '/':
        case '*':
            AddMarker("downloaded image", t);
            break;
        default:
            break;
    }
}

void PrinterModel::FsCommand(const Token& t) {
    const uint8_t n = Param(t, 2);
    switch (t.data[1]) {
        case '!':
            chineseStyle_.scaleW = (n & 0x04) ? 2 : 1;
            chineseStyle_.scaleH = (n & 0x08) ? 2 : 1;
            chineseStyle_.underline = (n & 0x80) ? 1 : 0;
            break;
        case '-':
            chineseStyle_.underline = (n == 1 || n == '1') ? 1 : (n == 2 || n == '2') ? 2 : 0;
            break;
        case '&':
            chinese_ = true;
            break;
        case '.':
            chinese_ = false;
            partialSize_ = 0;
            break;
        case 'p':
        case 'q':
            AddMarker("NV image", t);
            break;
        default:
            break;
    }
}

void PrinterModel::DoCut(const Token& t) {
    if (!line_.Empty())
        PrintLine();
    bool partial = true;
    int feed = 0;
    if (t.data[0] == kEsc) {
        partial = t.data[1] == 'm';
    } else {
        const uint8_t m = Param(t, 2);
        partial = m == 1 || m == '1' || m == 66 || m == 98 || m == 104;
        if (m == 65 || m == 66 || m == 97 || m == 98)
            feed = Param(t, 3);
    }
    FeedDots(feed);
    Add(Cut{partial}, 8);
    pages_.EndJob();
}

}  // namespace quillon::printer
