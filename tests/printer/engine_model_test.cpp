// Byte streams with known results on paper, one family of commands at a time.

#include <gtest/gtest.h>

#include "tests/printer/EngineHarness.h"

using namespace quillon;
using namespace quillon::printer;

TEST(PrinterModel, TextAttributesAlignmentAndTabsPlaceEachGlyph) {
    EngineHarness h;
    h.Send(
        "'a' 1B 21 08 'b' 1B 45 00 1B 2D 02 'c' 1B 2D 00 1D 21 11 'd' 1D 21 00 1D 42 01 'e' "
        "1D 42 00 1B 4D 01 'f' 0A");
    h.Send("1B 61 01 1B 4D 00 'mid' 0A 1B 61 32 'end' 0A 1B 61 00 09 'T' 0A");
    const auto lines = h.All<TextLine>();
    ASSERT_EQ(lines.size(), 4u);
    const auto& g = lines[0].glyphs;
    ASSERT_EQ(Chars(lines[0]), U"abcdef");
    EXPECT_EQ(g[0].style, 0);
    EXPECT_EQ(g[1].style, kBold);
    EXPECT_EQ(g[2].style, kUnderlineThick);
    EXPECT_EQ(g[3].scaleW, 2);
    EXPECT_EQ(g[3].scaleH, 2);
    EXPECT_EQ(g[4].style, kReverse);
    EXPECT_EQ(g[5].font, FontKind::kB);
    EXPECT_EQ(g[4].x, 12 * 3 + 24);  // after three font A cells and one double-width one
    EXPECT_EQ(lines[0].height, 48);
    EXPECT_EQ(lines[1].glyphs[0].x, (576 - 36) / 2);
    EXPECT_EQ(lines[2].glyphs[0].x, 576 - 36);
    EXPECT_EQ(lines[3].glyphs[0].x, 96);  // the first default tab stop
}

TEST(PrinterModel, LineSpacingFeedsAndWrapping) {
    EngineHarness h;
    h.Send("'a' 0A 1B 33 50 'b' 0A 0A 1B 32 'c' 1B 64 03 'd' 1B 4A 10");
    h.Send(std::string(50, 'x') == "" ? "" : "1B 40");
    h.printer.Receive(std::string(50, 'x') + "\n");
    const auto elements = h.Elements();
    std::vector<int> advances;
    for (const auto& e : elements) {
        if (auto* l = std::get_if<TextLine>(&e))
            advances.push_back(l->advance);
        else if (auto* f = std::get_if<Feed>(&e))
            advances.push_back(-f->dots);  // feeds of empty lines as negatives
    }
    // a: default 30; b: 0x50; empty line: a feed of 0x50; c: ESC d 3 = the line and two
    // more feeds; d: ESC J 16 dots; 50 x on a 48-column line wrap into two lines.
    EXPECT_EQ(advances, (std::vector<int>{30, 0x50, -0x50, 30, -30, -30, 16, 30, 30}));
    const auto lines = h.All<TextLine>();
    EXPECT_EQ(lines[lines.size() - 2].glyphs.size(), 48u);
    EXPECT_EQ(lines.back().glyphs.size(), 2u);
}

TEST(PrinterModel, CodePagesAndChineseModeDecodeToUnicode) {
    EngineHarness h;
    h.Send("9B 1B 74 02 9B 1B 74 11 80 1B 74 10 80 1B 74 13 D5 0A");
    h.Send("1C 26 'A' D6 D0 CE C4 81 30 81 30 1C 2E D6 0A");
    h.Send("1B 74 63 'z' 0A");  // a page this printer lacks: a marker, the old page stays
    const auto lines = h.All<TextLine>();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Chars(lines[0]), U"\u00A2\u00F8\u0410\u20AC\u20AC");
    EXPECT_EQ(Chars(lines[1]), U"A\u4E2D\u6587\u0080\u00CD");
    EXPECT_EQ(lines[1].glyphs[1].font, FontKind::kCjk);
    EXPECT_EQ(lines[1].glyphs[2].x, 12 + 24);
    EXPECT_EQ(lines[1].glyphs[4].font, FontKind::kA);
    EXPECT_EQ(h.All<Marker>().size(), 1u);
    EXPECT_EQ(h.printer.Model().CodePage(), 19);
    // The Chinese families start in Chinese mode.
    EngineHarness portable(Family::kPortableThermal, 58);
    portable.Send("D6 D0 0A");
    EXPECT_EQ(Chars(portable.All<TextLine>()[0]), U"\u4E2D");
}

TEST(PrinterModel, EveryCutFormEndsAJobAndKicksMarkTheDrawer) {
    EngineHarness h;
    const std::vector<std::pair<std::string, bool>> cuts = {
        {"1D 56 00", false},    {"1D 56 01", true},     {"1D 56 30", false},
        {"1D 56 31", true},     {"1D 56 41 10", false}, {"1D 56 42 00", true},
        {"1D 56 61 00", false}, {"1D 56 62 05", true},  {"1B 69", false},
        {"1B 6D", true}};
    for (auto& [cut, partial] : cuts)
        h.Send("'x' " + cut);
    ASSERT_EQ(h.pages.size(), cuts.size());
    for (size_t i = 0; i < cuts.size(); ++i) {
        EXPECT_TRUE(h.pages[i].jobEnd);
        EXPECT_EQ(h.pages[i].job, static_cast<int>(i + 1));
        const auto* cut = std::get_if<Cut>(&h.pages[i].elements.back());
        ASSERT_NE(cut, nullptr) << cuts[i].first;
        EXPECT_EQ(cut->partial, cuts[i].second) << cuts[i].first;
    }
    EXPECT_TRUE(std::holds_alternative<Feed>(h.pages[4].elements[1]));  // GS V 65 16 feeds

    h.Send("1B 70 00 19 FA");
    h.Send("10 14 01 01 03");
    const auto kicks = h.All<DrawerKick>();
    ASSERT_EQ(kicks.size(), 2u);
    EXPECT_EQ(kicks[0].pin, 2);
    EXPECT_EQ(kicks[0].onMs, 50);
    EXPECT_EQ(kicks[1].pin, 5);
    EXPECT_EQ(kicks[1].onMs, 300);
    EXPECT_TRUE(h.printer.State().drawerOpen);
}

TEST(PrinterModel, RasterColumnAndStoredGraphicsBecomeImages) {
    EngineHarness h;
    h.Send("1B 61 01 1D 76 30 01 02 00 03 00 F0 0F 81 18 FF 00");  // 16 x 3, double width
    h.Send("1D 28 4C 0C 00 30 70 30 02 01 31 08 00 02 00 AA 55 1D 28 4C 02 00 30 32");
    h.Send("1D 38 4C 0C 00 00 00 30 43 30 41 42 01 08 00 01 00 31 C3");  // NV "AB"
    h.Send("1D 28 4C 06 00 30 45 41 42 01 01 1D 28 4C 06 00 30 45 5A 5A 01 01");
    const auto images = h.All<ImageBlock>();
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0].raster.width, 16);
    EXPECT_EQ(images[0].raster.height, 3);
    EXPECT_EQ(images[0].scaleW, 2);
    EXPECT_EQ(images[0].align, Align::kCenter);
    EXPECT_TRUE(images[0].raster.At(0, 0));
    EXPECT_FALSE(images[0].raster.At(4, 0));
    EXPECT_TRUE(images[0].raster.At(12, 0));
    EXPECT_EQ(images[1].raster.width, 8);
    EXPECT_EQ(images[1].raster.height, 2);
    EXPECT_EQ(images[1].scaleW, 2);
    EXPECT_EQ(images[1].raster.bits, (std::vector<uint8_t>{0xAA, 0x55}));
    EXPECT_EQ(images[2].raster.bits, (std::vector<uint8_t>{0xC3}));
    EXPECT_EQ(h.All<Marker>().size(), 1u);  // the NV key "ZZ" was never stored

    EngineHarness column;
    column.Send("'a' 1B 2A 21 02 00 80 00 01 FF FF FF 0A");
    const auto lines = column.All<TextLine>();
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].images.size(), 1u);
    const Raster& r = lines[0].images[0].raster;
    EXPECT_EQ(lines[0].images[0].x, 12);
    EXPECT_EQ(r.width, 2);
    EXPECT_EQ(r.height, 24);
    EXPECT_TRUE(r.At(0, 0));
    EXPECT_FALSE(r.At(0, 1));
    EXPECT_TRUE(r.At(0, 23));
    EXPECT_TRUE(r.At(1, 12));
}

TEST(PrinterModel, BarcodesAndQrCodesCarryTheirSettings) {
    EngineHarness h;
    h.Send("1D 68 50 1D 77 02 1D 48 02 1D 66 01 1D 6B 04 'AB-12' 00");
    h.Send("1B 61 02 1D 6B 49 05 '{B' 'A1b' 1D 6B 50 01 'X'");
    h.Send(
        "1D 28 6B 03 00 31 43 06 1D 28 6B 03 00 31 45 33 "
        "1D 28 6B 0E 00 31 50 30 'HELLO-QR-01' 1D 28 6B 03 00 31 51 30");
    const auto codes = h.All<Barcode>();
    ASSERT_EQ(codes.size(), 2u);
    EXPECT_EQ(codes[0].type, 69);
    EXPECT_EQ(codes[0].data, "AB-12");
    EXPECT_EQ(codes[0].height, 0x50);
    EXPECT_EQ(codes[0].moduleWidth, 2);
    EXPECT_EQ(codes[0].hriPosition, 2);
    EXPECT_EQ(codes[0].hriFont, FontKind::kB);
    EXPECT_EQ(codes[1].type, 73);
    EXPECT_EQ(codes[1].data, "{BA1b");
    EXPECT_EQ(codes[1].align, Align::kRight);
    EXPECT_EQ(h.All<Marker>().size(), 1u);  // type 80 does not exist
    const auto qr = h.All<QrCode>();
    ASSERT_EQ(qr.size(), 1u);
    EXPECT_EQ(qr[0].data, "HELLO-QR-01");
    EXPECT_EQ(qr[0].moduleSize, 6);
    EXPECT_EQ(qr[0].level, 'H');
}

TEST(PrinterModel, UnknownCommandsLeaveMarkersAndPrintingGoesOn) {
    EngineHarness h;
    h.Send("'a' 1B 7E 'b' 1D 99 'c' 0A");
    const auto markers = h.All<Marker>();
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0].text, "? 1B 7E");
    EXPECT_EQ(markers[1].text, "? 1D 99");
    EXPECT_EQ(Chars(h.All<TextLine>()[0]), U"abc");
}

TEST(PrinterModel, EndlessRollWithoutCutComesOutInBoundedPages) {
    EngineHarness h;
    for (int i = 0; i < 2000; ++i)
        h.Send("'line of a roll that never gets cut' 0A");
    ASSERT_GT(h.pages.size(), 10u);
    for (auto& page : h.pages) {
        EXPECT_FALSE(page.jobEnd);
        EXPECT_LE(page.elements.size(), PageBuilder::kMaxElements);
    }
    EXPECT_EQ(h.pages[1].part, 2);
    EXPECT_EQ(h.pages[1].job, 1);
}
