// The real program against the real virtual printer on a pseudo-terminal: started with the
// printer's COM port chosen (as scripts/run.sh starts it) and driven through a window
// script, it opens that port, sends a reset, a line of text, a cut and a
// status request, and shows the printer's answer in its receive area, while the printer
// prints the text and the cut on its page.

#include <gtest/gtest.h>

#include <QImage>

#include "tests/e2e/ProgramProcess.h"
#include "tests/printer/ImageChecks.h"
#include "tests/printer/PrinterProcess.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/LoopbackPeers.h"

using namespace quillon;

namespace {

// Control ids as the window script names them: the port list, Open Port, the port state,
// HEX Show, the receive area, the send field, HEX Send, the line end box, Send and TX.
const char* kScript = R"(# open the port chosen at start
click 1035
wait 1004 5000 OPENED
tick 1006
# reset, a line of text, a full cut with no feed, then "is the printer online?"
tick 1013
set 1012 1B 40
click 1010
wait 1049 5000 TX:2
untick 1013
tick 1105
set 1012 Hello from Quillon
click 1010
wait 1049 5000 TX:22
untick 1105
tick 1013
set 1012 1D 56 42 00
click 1010
wait 1049 5000 TX:26
set 1012 10 04 01
click 1010
wait 1009 5000 16
report 1009 1049 1004
)";

TEST(PrinterRoundTrip, QuillonSendsThroughThePrintersPtyAndShowsItsAnswer) {
    TempDir dir;
    // Another serial port comes first in the list, so the printer's is there only by choice.
    PtyPair otherPort;
    dir.WriteFile("ports", "COM1=" + otherPort.slavePath() + "\n");
    // A long pause ends a job, so that the script's steps land in one job and one page.
    PrinterProcess printer(dir, RandomLoopbackAddress(), "--idle-ms 2000");
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();

    dir.WriteFile("script.txt", kScript);
    Program program(dir, "C.UTF-8", {"QUILLON_WINDOW_SCRIPT=" + dir.path() + "/script.txt"},
                    {"--port", "COM9"});
    ASSERT_TRUE(program.spawned());
    const auto report = program.WaitForScript(60);
    ASSERT_FALSE(report.empty()) << "the script never finished";
    EXPECT_EQ(report.at("script"), "done");
    EXPECT_EQ(report.at("item1009"), "16 ");
    EXPECT_EQ(report.at("item1049"), "TX:29");
    EXPECT_EQ(report.at("item1004").rfind("COM9 OPENED,9600,N,8,1", 0), 0u)
        << report.at("item1004");

    const std::string page = printer.WaitForPage(1);
    ASSERT_FALSE(page.empty()) << printer.errors();
    const QImage image(QString::fromStdString(page));
    ASSERT_EQ(image.width(), 576);
    EXPECT_GT(BlackIn(image, QRect(0, 0, 18 * 12, 24)), 200);            // the text
    EXPECT_EQ(BlackIn(image, QRect(19 * 12, 0, 576 - 19 * 12, 24)), 0);  // and nothing after it
    EXPECT_EQ(CutLineRows(image), 2);
    EXPECT_EQ(program.Close(), 0);
}

}  // namespace
