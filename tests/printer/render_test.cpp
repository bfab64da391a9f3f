// Pages drawn to images: what is printed is where it should be, and barcodes and QR codes
// read back with zbar.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>

#include "printer/render/PageRenderer.h"
#include "printer/render/SymbolEncoder.h"
#include "tests/printer/EngineHarness.h"
#include "tests/printer/ImageChecks.h"

using namespace quillon;
using namespace quillon::printer;

TEST(PageRenderer, BarcodesAndQrCodeReadBackWithZbar) {
    EngineHarness h;
    h.Send("1B 61 01 1D 68 50 1D 77 02 1D 48 02 1D 6B 49 0B '{B' 'QUILLON-1' 0A");
    h.Send("1D 6B 43 0C '400638133393' 0A");
    h.Send(
        "1D 28 6B 03 00 31 43 05 1D 28 6B 03 00 31 45 31 "
        "1D 28 6B 19 00 31 50 30 'https://quillon.test/1' 1D 28 6B 03 00 31 51 30 0A");
    h.Send("1D 56 42 00");
    ASSERT_EQ(h.pages.size(), 1u);
    PageRenderer renderer;
    const QImage image = renderer.Render(h.pages[0]);
    EXPECT_EQ(image.width(), 576);
    EXPECT_EQ(image.format(), QImage::Format_Mono);
    QTemporaryDir dir;
    const QString path = dir.filePath("receipt.png");
    ASSERT_TRUE(SavePng(image, path));
    const std::string found = Scan(path);
    EXPECT_NE(found.find("CODE-128:QUILLON-1"), std::string::npos) << found;
    EXPECT_NE(found.find("EAN-13:4006381333931"), std::string::npos) << found;
    EXPECT_NE(found.find("QR-Code:https://quillon.test/1"), std::string::npos) << found;
}

TEST(PageRenderer, Gs1BarcodesReadBackAndPdf417IsDrawnAsItsRowsSay) {
    EngineHarness h;
    h.Send("1D 68 50 1D 77 02 1D 6B 4A 12 '(01)04012345123456' 0A");
    h.Send("1D 6B 4B 0D '0401234512345' 0A");
    h.Send("1D 6B 4D 0D '0401234512345' 0A");
    h.Send("1D 6B 4E 18 '(01)04012345123456(10)AB' 0A");
    h.Send("1D 56 42 00");
    ASSERT_EQ(h.pages.size(), 1u);
    EXPECT_TRUE(h.All<Marker>().empty());
    // zbar does not read DataBar Limited: that one is only encoded.
    for (const Barcode& barcode : h.All<Barcode>())
        EXPECT_EQ(EncodeBarcode(barcode).error, "") << barcode.type;
    PageRenderer renderer;
    const QImage image = renderer.Render(h.pages[0]);
    QTemporaryDir dir;
    const QString path = dir.filePath("gs1.png");
    ASSERT_TRUE(SavePng(image, path));
    const std::string found = Scan(path);
    EXPECT_NE(found.find("CODE-128:0104012345123456"), std::string::npos) << found;
    EXPECT_NE(found.find("DataBar:0104012345123456"), std::string::npos) << found;
    EXPECT_NE(found.find("DataBar-Exp:0104012345123456"), std::string::npos) << found;

    // PDF417: 3 data columns, rows 4 times a module width of 2, level 2. Each module is
    // drawn where the symbol's grid has it: start, left indicator, 3 columns, right indicator
    // (17 modules each) and the stop pattern (18).
    EngineHarness pdf;
    pdf.Send(
        "1D 28 6B 03 00 30 41 03 1D 28 6B 03 00 30 43 02 1D 28 6B 03 00 30 44 04 "
        "1D 28 6B 04 00 30 45 30 32 1D 28 6B 0E 00 30 50 30 'QUILLON-PDF' "
        "1D 28 6B 03 00 30 51 30 1D 56 00");
    ASSERT_EQ(pdf.pages.size(), 1u);
    const auto symbols = pdf.All<Pdf417>();
    ASSERT_EQ(symbols.size(), 1u);
    const ModuleGrid grid = EncodePdf417(symbols[0]);
    ASSERT_TRUE(grid.error.empty()) << grid.error;
    EXPECT_EQ(grid.width, 17 * 6 + 18);
    ASSERT_GE(grid.height, 3);
    const QImage drawn = renderer.Render(pdf.pages[0]);
    int wrong = 0;
    for (int row = 0; row < grid.height; ++row)
        for (int col = 0; col < grid.width; ++col)
            for (const QPoint dot : {QPoint(col * 2, row * 8), QPoint(col * 2 + 1, row * 8 + 7)})
                wrong += Black(drawn, dot.x(), dot.y()) != grid.At(col, row);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(BlackIn(drawn, QRect(grid.width * 2, 0, 576 - grid.width * 2, grid.height * 8)), 0);
}

TEST(PageRenderer, TextImagesCutAndNotesLandWhereThePaperSaysAt58mm) {
    EngineHarness h(Family::kPortableThermal, 58);
    // A line of text, a centred 16 x 8 black raster, a drawer kick, an unknown command, a
    // full cut.
    h.Send("'Hello' 1D 42 01 'R' 0A 1B 61 01 1D 76 30 00 02 00 08 00");
    h.printer.Receive(std::string(16, '\xFF'));
    h.Send("1B 61 00 1B 70 00 19 FA 1B 7E 1D 56 00");
    ASSERT_EQ(h.pages.size(), 1u);
    PageRenderer renderer;
    const QImage image = renderer.Render(h.pages[0]);
    ASSERT_EQ(image.width(), 384);
    // Text: ink in the first cells, none far right on that line; the reversed cell is
    // mostly black.
    EXPECT_GT(BlackIn(image, QRect(0, 0, 60, 24)), 60);
    EXPECT_EQ(BlackIn(image, QRect(100, 0, 284, 24)), 0);
    EXPECT_GT(BlackIn(image, QRect(60, 0, 12, 24)), 12 * 24 / 2);
    // The raster: exactly 16 x 8 black dots centred below the 30-dot line.
    EXPECT_EQ(BlackIn(image, QRect(184, 30, 16, 8)), 16 * 8);
    EXPECT_EQ(BlackIn(image, QRect(0, 30, 184, 8)), 0);
    EXPECT_FALSE(Black(image, 200, 30));
    // Two framed notes, then the dashed cut line across the bottom.
    EXPECT_GT(BlackIn(image, QRect(0, image.height() - 9, 384, 2)), 300);
    EXPECT_EQ(CutLineRows(image), 2);
    EXPECT_EQ(image.height(), 38 + 2 * 21 + 16);
}

TEST(PageRenderer, ContentWiderThanThePaperIsDrawnToItsEdgeWithANoteBelow) {
    EngineHarness h(Family::kPortableThermal, 58);
    // A black raster 448 dots wide and 4 tall, then a QR code of 33 modules of 16 dots (528).
    h.Send("1D 76 30 00 38 00 04 00");
    h.printer.Receive(std::string(56 * 4, '\xFF'));
    h.Send("1D 28 6B 03 00 31 43 10 1D 28 6B 3F 00 31 50 30");
    h.printer.Receive(std::string(60, 'Q'));
    h.Send("1D 28 6B 03 00 31 51 30 1D 56 00");
    ASSERT_EQ(h.pages.size(), 1u);
    PageRenderer renderer;
    const QImage image = renderer.Render(h.pages[0]);
    ASSERT_EQ(image.width(), 384);
    // Each note ("image 448 dots wide on 384: cut at the edge") takes two rows here.
    const int note = 2 * FontCells{}.b.height + 4;
    ASSERT_EQ(image.height(), 4 + note + 528 + note + 16);
    EXPECT_EQ(BlackIn(image, QRect(0, 0, 384, 4)), 384 * 4);     // up to the edge
    EXPECT_EQ(BlackIn(image, QRect(0, 4, 384, 1)), 384);         // a note's frame below it
    EXPECT_GT(BlackIn(image, QRect(383, 4 + note, 1, 528)), 0);  // the QR code at the edge
    EXPECT_EQ(BlackIn(image, QRect(0, 4 + note + 528, 384, 1)), 384);
}

TEST(PageRenderer, TextPositionedOrIndentedPastTheEdgeStaysOnItsLineAndIsNoted) {
    EngineHarness h(Family::kPortableThermal);  // 384 dots
    // ESC $ 400, past the paper: "AB" stays on the line of "Total" and with it an ESC *
    // image, all past the edge. Then GS L 400, a margin past the paper: "Hi" has no room at
    // all but keeps its line. Last, ESC $ 378 on the line: "AB" does not fit there and goes
    // to the next line, as a full line buffer is printed.
    h.Send("'Total' 1B 24 90 01 'AB' 1B 2A 00 02 00 FF FF 0A");
    h.Send("1D 4C 90 01 'Hi' 0A 1D 4C 00 00 'x' 1B 24 7A 01 'AB' 0A 1D 56 00");
    const auto lines = h.All<TextLine>();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Chars(lines[0]), U"TotalAB");
    EXPECT_EQ(lines[0].right, 400 + 24 + 4);
    EXPECT_EQ(Chars(lines[1]), U"Hi");
    EXPECT_EQ(lines[1].right, 384 + 24);
    EXPECT_EQ(Chars(lines[2]), U"x");
    EXPECT_EQ(Chars(lines[3]), U"AB");
    PageRenderer renderer;
    const QImage image = renderer.Render(h.pages.at(0));
    ASSERT_EQ(image.width(), 384);
    const int note = 2 * FontCells{}.b.height + 4;  // two rows, as above
    ASSERT_EQ(image.height(), 30 + note + 30 + note + 30 + 30 + 16);
    EXPECT_GT(BlackIn(image, QRect(0, 0, 60, 24)), 0);                // Total
    EXPECT_EQ(BlackIn(image, QRect(60, 0, 324, 24)), 0);              // nothing past it
    EXPECT_EQ(BlackIn(image, QRect(0, 30, 384, 1)), 384);             // the note's frame
    EXPECT_EQ(BlackIn(image, QRect(0, 30 + note, 384, 24)), 0);       // nothing of "Hi"
    EXPECT_EQ(BlackIn(image, QRect(0, 60 + note, 384, 1)), 384);      // its note
    EXPECT_GT(BlackIn(image, QRect(0, 60 + 2 * note, 12, 24)), 0);    // the margin back at 0
    EXPECT_GT(BlackIn(image, QRect(0, 90 + 2 * note, 24, 24)), 0);    // AB on the next line
    EXPECT_EQ(BlackIn(image, QRect(360, 60 + 2 * note, 24, 60)), 0);  // not at the edge
}

TEST(PageRenderer, ImageTallerThanAnyPageIsCutOffAtTheHeightLimit) {
    EngineHarness h;
    h.Send("1D 76 30 03 01 00 20 4E");  // 8 x 20000 dots, drawn twice as tall
    h.printer.Receive(std::string(20000, '\xFF'));
    // The image fills a page on its own, which says that it ends without a cut.
    ASSERT_EQ(h.pages.size(), 1u);
    ASSERT_EQ(h.pages[0].elements.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<ImageBlock>(h.pages[0].elements[0]));
    EXPECT_TRUE(std::holds_alternative<Marker>(h.pages[0].elements[1]));
    EXPECT_FALSE(h.pages[0].jobEnd);
    PageRenderer renderer;
    const QImage image = renderer.Render(h.pages[0]);
    EXPECT_EQ(image.height(), PageRenderer::kMaxHeight);
    EXPECT_TRUE(Black(image, 0, PageRenderer::kMaxHeight - 1));
}

TEST(PageRenderer, ChineseSizesFollowFsAndAnUpsideDownLineIsTurnedInItsBand) {
    // Chinese mode: FS ! doubles the Chinese characters only, ESC ! the others only, GS !
    // both, as a printer with Chinese fonts does.
    EngineHarness h;
    h.Send(
        "1C 26 1C 21 0C 'a' B1 B6 0A 1C 21 00 1B 21 30 'a' B1 B6 0A 1B 21 00 1D 21 11 'a' B1 B6 "
        "0A");
    const auto lines = h.All<TextLine>();
    ASSERT_EQ(lines.size(), 3u);
    // Each line's "a" and its Chinese character, as width and height scales.
    const int scales[3][2][2] = {{{1, 1}, {2, 2}}, {{2, 2}, {1, 1}}, {{2, 2}, {2, 2}}};
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(lines[i].glyphs[c].scaleW, scales[i][c][0]) << "line " << i << ", " << c;
            EXPECT_EQ(lines[i].glyphs[c].scaleH, scales[i][c][1]) << "line " << i << ", " << c;
        }

    // ESC { counts where a line begins: the line is the same ink turned half a turn.
    auto band = [](const std::string& hex) {
        EngineHarness one;
        one.Send(hex + " 1D 56 00");
        const TextLine line = one.All<TextLine>().at(0);
        PageRenderer renderer;
        return renderer.Render(one.pages.at(0)).copy(0, 0, 576, line.height);
    };
    const QImage upright = band("1B 45 01 'Upside down' 0A");
    const QImage turned = band("1B 7B 01 1B 45 01 'Upside down' 1B 7B 00 0A");
    ASSERT_GT(BlackIn(upright, upright.rect()), 100);
    EXPECT_EQ(turned, upright.mirrored(true, true));
}

TEST(PageRenderer, EachFamilysModelFilePrintsItsRulersOnOneLineOnItsOwnPaper) {
    struct Case {
        Family family;
        const char* file;
        int dots;
        size_t columns[2];  // font A, font B
    };
    const Case cases[] = {
        {Family::kPosThermal, "POS热敏机型.txt", 576, {48, 64}},
        {Family::kPosImpact, "POS针打机型.txt", 600, {40, 42}},
        {Family::kPortableThermal, "便携热敏机型.txt", 384, {32, 42}},
        {Family::kPortableImpact, "便携针打机型.txt", 462, {33, 35}},
        {Family::kMicroThermal, "微打热敏机型.txt", 288, {24, 32}},
        {Family::kMicroImpact, "微打针打机型.txt", 462, {33, 35}},
    };
    PageRenderer renderer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        // The file as the Test page sends it: a line with a quote as its bytes, others as hex.
        std::ifstream in(std::string(QUILLON_MODELS_DIR) + "/" + c.file);
        ASSERT_TRUE(in);
        EngineHarness h(c.family);
        for (std::string line; std::getline(in, line);) {
            line.erase(line.find_last_not_of(" \t\r") + 1);
            if (!line.empty())
                h.printer.Receive(line.find('"') != std::string::npos ? line : Bytes(line));
        }
        h.Send("0D 0A 0D 0A");
        std::vector<TextLine> rulers;
        for (const TextLine& line : h.All<TextLine>()) {
            const std::u32string chars = Chars(line);
            if (chars.size() >= 10 &&
                chars.find_first_not_of(U"0123456789") == std::u32string::npos)
                rulers.push_back(line);
        }
        // Each ruler fills its line: one more character of its font would not fit.
        ASSERT_EQ(rulers.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            const Glyph& last = rulers[i].glyphs.back();
            const int cell = h.pages[0].cells.Of(last.font).width;
            EXPECT_EQ(rulers[i].glyphs.size(), c.columns[i]) << "font "
                                                             << "AB"[i];
            EXPECT_LE(last.x + cell, c.dots);
            EXPECT_GT(last.x + 2 * cell, c.dots);
        }
        for (const Page& page : h.pages) {
            EXPECT_EQ(page.paperWidth, c.dots);
            EXPECT_EQ(renderer.Render(page).width(), c.dots);
        }
    }
}
