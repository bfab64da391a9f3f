// The folders the program keeps its files in: settings, the program's own, its data.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/FakeDevices.h"
#include "transport/platform/Folders.h"

using namespace quillon;

namespace {

TEST(FoldersTest, ConfigFolderFollowsXdgElseHome) {
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/tmp/somewhere");
        EXPECT_EQ(ConfigFolder(), "/tmp/somewhere/Quillon/");
    }
    ScopedEnv noConfig("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", "/home/tech");
    EXPECT_EQ(ConfigFolder(), "/home/tech/.config/Quillon/");
}

TEST(FoldersTest, ProgramFolderHoldsTheRunningProgram) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::equivalent(folder + "unit_tests", "/proc/self/exe"));
}

TEST(FoldersTest, DataFolderIsShareWhenInstalledElseTheProgramFolder) {
    TempDir prefix;
    const std::string bin = prefix.MakeDirs("bin") + "/";
    EXPECT_EQ(DataFolderFor(bin), bin);  // as in the build tree
    prefix.MakeDirs("share/quillon");
    EXPECT_EQ(DataFolderFor(bin), prefix.path() + "/share/quillon/");
    // This program runs from the build tree.
    EXPECT_EQ(DataFolder(), ProgramFolder());
}

}  // namespace
