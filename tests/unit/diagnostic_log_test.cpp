#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/support/FakeDevices.h"
#include "transport/DiagnosticLog.h"

using namespace quillon;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DiagnosticLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        logEnabled = 0;
    }
    std::string LogPath() const { return dir_.path() + "/Quillon.log"; }

    TempDir dir_;
    std::filesystem::path previous_;
};

TEST_F(DiagnosticLogTest, WritesNothingWhileOffOrForAnEmptyMessage) {
    logEnabled = 0;
    LogWrite("CommonUtils::ReadThread", "Read file wait timeout.", kLogFileName, ".\\CommonUtils",
             1025);
    LogWriteFormat("CommonUtils::ReadThread", kLogFileName, ".\\CommonUtils", 1030,
                   "Read file error. The error is: %d", 5);
    EXPECT_FALSE(std::filesystem::exists(LogPath()));

    logEnabled = 1;
    LogWrite("CommonUtils::ReadThread", "", kLogFileName, ".\\CommonUtils", 1025);
    LogWrite("CommonUtils::ReadThread", nullptr, kLogFileName, ".\\CommonUtils", 1025);
    EXPECT_FALSE(std::filesystem::exists(LogPath()));
    // The lock was left free: another line can be written at once.
    LogWrite("f", "m", kLogFileName, "s", 1);
    EXPECT_TRUE(std::filesystem::exists(LogPath()));
}

TEST_F(DiagnosticLogTest, LineLayoutIsTimestampPaddingFunctionLineAndMessage) {
    logEnabled = 1;
    LogWrite("CommonUtils::ReadThread", "Read file wait timeout.", kLogFileName, ".\\CommonUtils",
             1025);
    LogWriteFormat("CommonUtils::ReadThread", kLogFileName, ".\\CommonUtils", 1030,
                   "Read file error. The error is: %d", 19);
    const std::string text = ReadAll(LogPath());
    // 80 - len("1025") - len("CommonUtils::ReadThread") - len(".\CommonUtils") = 40 blanks,
    // after the one blank that always stands there.
    const std::string pad(41, ' ');
    const std::regex line1(R"(^\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \d{1,3}\]  )" + pad +
                           R"(CommonUtils::ReadThread \| L1025: Read file wait timeout\.\r\n)");
    const std::regex line2(
        R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \d{1,3}\]  )" + pad +
        R"(CommonUtils::ReadThread \| L1030: Read file error\. The error is: 19\r\n$)");
    EXPECT_TRUE(std::regex_search(text, line1)) << text;
    EXPECT_TRUE(std::regex_search(text, line2)) << text;
}

TEST_F(DiagnosticLogTest, LongNamesGetOnlyTheSingleBlank) {
    logEnabled = 1;
    const std::string longName(90, 'f');
    LogWrite(longName.c_str(), "x", kLogFileName, "s", 7);
    const std::string text = ReadAll(LogPath());
    EXPECT_NE(text.find("]   " + longName + " | L7: x\r\n"), std::string::npos) << text;
}

TEST(LogTimestampTest, MillisecondsHaveNoLeadingZeros) {
    const std::string stamp = LogTimestamp();
    EXPECT_TRUE(std::regex_match(
        stamp, std::regex(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} (0|[1-9]\d{0,2})\]  )")))
        << stamp;
}

}  // namespace
