#include "transport/Conversions.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

struct HexCase {
    const char* text;
    int result;
    std::vector<std::uint8_t> bytes;
};

class HexTextToBytesTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexTextToBytesTest, ConvertsOrRejects) {
    const HexCase& c = GetParam();
    const std::string text = c.text;
    std::vector<std::uint8_t> out((text.size() + 1) / 2 + 1, 0xEE);
    const int n = HexTextToBytes(text, out.data());
    EXPECT_EQ(n, c.result) << '"' << text << '"';
    if (n > 0) {
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + n), c.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, HexTextToBytesTest,
    ::testing::Values(HexCase{"1B 40", 2, {0x1B, 0x40}}, HexCase{"1b40", 2, {0x1B, 0x40}},
                      HexCase{"ABC", -1, {}}, HexCase{"AB C", 2, {0xAB, 0x0C}},
                      HexCase{"1B 40D0A", -1, {}}, HexCase{"A", 1, {0x0A}},
                      HexCase{"1 2", 2, {0x01, 0x02}},
                      HexCase{"0D 0A\r\n1B", 3, {0x0D, 0x0A, 0x1B}},
                      HexCase{"ff 00 7F", 3, {0xFF, 0x00, 0x7F}},
                      HexCase{"1D 56 42 00", 4, {0x1D, 0x56, 0x42, 0x00}},
                      HexCase{"  1B\n\n40  ", 2, {0x1B, 0x40}}, HexCase{"1G", -1, {}},
                      HexCase{"1\r\n", -1, {}}, HexCase{"1B,40", -1, {}}, HexCase{"1B\t40", -1, {}},
                      HexCase{"0x1B", -1, {}}, HexCase{"G 1", -1, {}}, HexCase{"", 0, {}},
                      HexCase{"   ", 0, {}}, HexCase{"\r\n \r\n", 0, {}}));

TEST(HexTextToBytesTest, NeverWritesPastTheCallersArea) {
    // The longest output for n characters is (n + 1) / 2 bytes: single digits between blanks.
    const std::string text = "1 2 3 4 5";
    std::vector<std::uint8_t> out((text.size() + 1) / 2 + 4, 0xEE);
    EXPECT_EQ(HexTextToBytes(text, out.data()), 5);
    EXPECT_EQ(out[5], 0xEE);
}

struct SettingsCase {
    const char* text;
    int baud;
    char parity;
    int dataBits;
    int stopBits;
    int flow;
    int result = 1;
};

class ParseSerialSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ParseSerialSettingsTest, ReadsEveryField) {
    const SettingsCase& c = GetParam();
    int baud = -1, dataBits = -1, stopBits = -1, flow = -1;
    char parity = '?';
    EXPECT_EQ(ParseSerialSettings(c.text, &baud, &parity, &dataBits, &stopBits, &flow), c.result);
    EXPECT_EQ(baud, c.baud);
    EXPECT_EQ(parity, c.parity);
    EXPECT_EQ(dataBits, c.dataBits);
    EXPECT_EQ(stopBits, c.stopBits);
    EXPECT_EQ(flow, c.flow);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ParseSerialSettingsTest,
    ::testing::Values(SettingsCase{"9600,E,7,2, 1", 9600, 'E', 7, 2, 1},
                      SettingsCase{"115200,N,8,1, 2", 115200, 'N', 8, 1, 2},
                      SettingsCase{"9600,N,8,1", 9600, 'N', 8, 0, 1},
                      SettingsCase{"115200", 0, '\0', 0, 0, 115200},
                      SettingsCase{"", 0, '\0', 0, 0, 0},
                      SettingsCase{"x,,y,z,w", 0, '\0', 0, 0, 0},
                      SettingsCase{" -2147483648,N,+7,2147483647, 02", INT_MIN, 'N', 7, INT_MAX, 2},
                      // Numbers that do not fit read 0, never wrapped.
                      SettingsCase{"4294976896,N,8,1", 0, 'N', 8, 0, 1, 0},
                      SettingsCase{"9600,N,4294967304,1", 9600, 'N', 0, 0, 1, 0},
                      SettingsCase{"9600,E,8,2, 99999999999", 9600, 'E', 8, 2, 0, 0},
                      SettingsCase{"9600,E,8,-2147483649", 9600, 'E', 8, 0, 0, 0}));

class DailyFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    static std::string TodaysName() {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char name[32];
        std::strftime(name, sizeof name, "%Y-%m-%d.txt", &local);
        return name;
    }

    TempDir dir_;
    std::filesystem::path previous_;
};

TEST_F(DailyFileTest, AppendsToTodaysFileWithCrLfLineEnds) {
    ASSERT_EQ(AppendToDailyFile("127.0.0.9 failed\n"), 1);
    ASSERT_EQ(AppendToDailyFile("second\nline\n"), 1);
    std::ifstream in(dir_.path() + "/" + TodaysName(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "127.0.0.9 failed\r\nsecond\r\nline\r\n");
}

TEST_F(DailyFileTest, AnAppendIsWholeOrNotThereAndNeverGoesThroughASymlink) {
    const std::string today = dir_.path() + "/" + TodaysName();
    auto read = [&] {
        std::ifstream in(today, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    };
    // A symlink planted at today's name, here a dangling one, is not written through.
    const std::string victim = dir_.path() + "/victim";
    std::filesystem::create_symlink(victim, today);
    std::string reason;
    EXPECT_EQ(AppendToDailyFile("127.0.0.9 failed\n", &reason), 0);
    EXPECT_FALSE(std::filesystem::exists(victim));
    EXPECT_NE(reason.find(TodaysName() + ": "), std::string::npos) << reason;
    std::filesystem::remove(today);

    // On a full disk the file the append made goes again, and one that was there keeps
    // what it had.
    {
        FileSizeLimit full(8);
        EXPECT_EQ(AppendToDailyFile("127.0.0.9 failed\n", &reason), 0);
        EXPECT_FALSE(std::filesystem::exists(today));
        EXPECT_EQ(reason, TodaysName() + ": File too large");
    }
    ASSERT_EQ(AppendToDailyFile("first\n"), 1);
    {
        FileSizeLimit full(12);
        EXPECT_EQ(AppendToDailyFile("second line\n"), 0);
    }
    EXPECT_EQ(read(), "first\r\n");
}

TEST_F(DailyFileTest, ReportsAFileThatCannotBeOpened) {
    // A folder where the file should be cannot be opened for appending.
    std::filesystem::create_directory(dir_.path() + "/" + TodaysName());
    EXPECT_EQ(AppendToDailyFile("x\n"), 0);
}

}  // namespace
