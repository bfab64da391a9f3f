// The real program: it comes up in the language of the locale with its title, and a
// close request ends it cleanly.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/e2e/ProgramProcess.h"

using namespace quillon;

namespace {

TEST(ProgramTest, ComesUpInChineseAndClosesCleanly) {
    TempDir dir;
    Program program(dir, "zh_CN.UTF-8");
    ASSERT_TRUE(program.spawned());
    const auto window = program.WaitForWindow();
    ASSERT_FALSE(window.empty()) << "the window never came up";
    EXPECT_EQ(window.at("title"), "Quillon V6.4 ");
    EXPECT_EQ(window.at("language"), "zh");
    EXPECT_EQ(window.at("visible"), "1");
    EXPECT_EQ(window.at("port"), "以太网");
    EXPECT_EQ(window.at("state"), "端口关闭！");
    EXPECT_EQ(window.at("tabs"), "串口循环|网口循环|测试|其他");
    EXPECT_EQ(program.Close(), 0);
}

TEST(ProgramTest, ComesUpInEnglishAndClosesCleanly) {
    TempDir dir;
    Program program(dir, "C");
    ASSERT_TRUE(program.spawned());
    const auto window = program.WaitForWindow();
    ASSERT_FALSE(window.empty()) << "the window never came up";
    EXPECT_EQ(window.at("title"), "Quillon V6.4");
    EXPECT_EQ(window.at("language"), "en");
    EXPECT_EQ(window.at("port"), "Ethernet");
    EXPECT_EQ(window.at("state"), "Port closed.");
    EXPECT_EQ(window.at("tabs"), "Com Cycle|Net Cycle|Test|Others");
    EXPECT_EQ(program.Close(), 0);
}

TEST(ProgramTest, SettingsSurviveATerminationSignal) {
    TempDir dir;
    dir.WriteFile("ports", "COM1=/dev/pts/90\nCOM3=/dev/pts/91\n");
    // Written by hand with bare line feeds, as a user on this system might.
    const std::string ini = dir.path() + "/config/Quillon/Quillon.ini";
    dir.WriteFile("config/Quillon/Quillon.ini",
                  "COM3\n19200,E,7,2, 2\n127.0.0.9\n0\n1\n250\n/srv/captures/\n1\n0\n0\n1\n0\n"
                  "SendData_ASC\nfirst line\r\r\nsecond line\nSendData_HEX\n1B 40");
    {
        Program program(dir, "C");
        ASSERT_TRUE(program.spawned());
        const auto window = program.WaitForWindow();
        ASSERT_FALSE(window.empty()) << "the window never came up";
        EXPECT_EQ(window.at("port"), "COM3");
        EXPECT_EQ(program.Close(), 0);
    }
    // Closed by the signal as by its close box: the settings were written again, in the
    // file's own form.
    std::ifstream in(ini, std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_EQ(written.str(),
              "COM3\r\n19200,E,7,2, 2\r\n127.0.0.9\r\n0\r\n1\r\n250\r\n/srv/captures/\r\n"
              "1\r\n0\r\n0\r\n1\r\n0\r\nSendData_ASC\r\nfirst line\r\r\nsecond line\r\n"
              "SendData_HEX\r\n1B 40");

    std::filesystem::remove(dir.path() + "/window.txt");
    Program again(dir, "C");
    ASSERT_TRUE(again.spawned());
    const auto window = again.WaitForWindow();
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(window.at("port"), "COM3");
    EXPECT_EQ(again.Close(), 0);
}

}  // namespace
