// The real program: it comes up in the language of the locale with its title, and a
// close request ends it cleanly.

#include <gtest/gtest.h>

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

}  // namespace
