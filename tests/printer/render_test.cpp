// Pages drawn to images: what is printed is where it should be, and barcodes and QR codes
// read back with zbar.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "printer/render/PageRenderer.h"
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

TEST(PageRenderer, TextImagesCutAndNotesLandWhereThePaperSaysAt58mm) {
    EngineHarness h(Family::kPortableThermal, 384);
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

TEST(PageRenderer, ImageTallerThanAnyPageIsCutOffAtTheHeightLimit) {
    EngineHarness h;
    h.Send("1D 76 30 03 01 00 20 4E");  // 8 x 20000 dots, drawn twice as tall
    h.printer.Receive(std::string(20000, '\xFF'));
    // The image fills a page on its own.
    ASSERT_EQ(h.pages.size(), 1u);
    EXPECT_EQ(h.pages[0].elements.size(), 1u);
    PageRenderer renderer;
    const QImage image = renderer.Render(h.pages[0]);
    EXPECT_EQ(image.height(), PageRenderer::kMaxHeight);
    EXPECT_TRUE(Black(image, 0, PageRenderer::kMaxHeight - 1));
}
