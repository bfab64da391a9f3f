// The real program against the real virtual printer, whose cover is open: "Printer Status"
// on the Others page says so in words, and the session log of the run, finished when the
// program ends, holds the request, the answers and that line.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/ProgramProcess.h"
#include "tests/printer/PrinterProcess.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/LoopbackPeers.h"

using namespace quillon;

namespace {

// Open Port, then the Others page's "Printer Status" (page 3, control 1090) and its line (1099).
const char* kScript = R"(click 1035
wait 1004 5000 OPENED
click 3:1090
wait 3:1099 5000 (
report 3:1099
)";

TEST(PrinterStatusEndToEnd, TheProgramSaysWhatThePrinterAnswersAndLogsTheSession) {
    TempDir dir;
    PrinterProcess printer(dir, RandomLoopbackAddress(), "--idle-ms 2000");
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();
    ASSERT_TRUE(printer.SetSensors("cover open"));

    dir.WriteFile("script.txt", kScript);
    Program program(dir, "C.UTF-8", {"QUILLON_WINDOW_SCRIPT=" + dir.path() + "/script.txt"},
                    {"--port", "COM9"});
    ASSERT_TRUE(program.spawned());
    const auto report = program.WaitForScript(60);
    ASSERT_FALSE(report.empty()) << "the script never finished";
    EXPECT_EQ(report.at("script"), "done");
    const std::string line = report.at("item3:1099");
    EXPECT_EQ(line.substr(0, line.size() - 11), "Offline · cover open · paper OK · drawer closed")
        << line;
    EXPECT_EQ(program.Close(), 0);

    // HOME is the test's folder and XDG_STATE_HOME is not set.
    std::vector<std::string> logs;
    for (const auto& entry :
         std::filesystem::directory_iterator(dir.path() + "/.local/state/Quillon/sessions"))
        logs.push_back(entry.path().string());
    ASSERT_EQ(logs.size(), 1u);
    std::vector<std::string> lines = FileLines(logs[0]);
    for (std::string& l : lines)
        l.erase(0, 24);  // the time stamp
    const std::vector<std::string> expected = {
        "OPEN COM9 9600,N,8,1, 0 DTR=1 RTS=1",
        "TX 12 10 04 01 10 04 02 10 04 03 10 04 04 |............|",
        "RX 4 1E 16 12 12 |....|",
        "STATUS Offline · cover open · paper OK · drawer closed",
        "CLOSE",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
