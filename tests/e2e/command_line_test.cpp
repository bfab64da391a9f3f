// The real program's command line: help and version without a display, what it does not
// know, a port that is not in the list, and where received data is saved when the program's
// own folder cannot be written to.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "tests/e2e/ProgramProcess.h"

using namespace quillon;

namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Started with its output kept for the test to read.
Launch Captured() {
    Launch launch;
    launch.captureOutput = true;
    return launch;
}

// The environment variables the README tells users about.
std::set<std::string> ReadmeVariables() {
    std::ifstream in(QUILLON_SOURCE_DIR "/README.md");
    const std::string readme(std::istreambuf_iterator<char>(in), {});
    const std::regex variable(R"(\b(QUILLON_[A-Z_]+|XDG_[A-Z_]+|LC_ALL|LC_MESSAGES|LANG)\b)");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(readme.begin(), readme.end(), variable);
         it != std::sregex_iterator(); ++it)
        names.insert(it->str());
    return names;
}

TEST(CommandLineTest, HelpAndVersionAnswerWithoutADisplay) {
    TempDir dir;
    // No display to reach: a program that tried would fail.
    const std::vector<std::string> noDisplay = {"QT_QPA_PLATFORM=xcb", "DISPLAY="};
    Program help(dir, "C", noDisplay, {"--help"}, Captured());
    ASSERT_EQ(help.WaitForExit(), 0) << help.Errors();
    const std::string text = help.Output();
    for (const char* option : {"--port <NAME>", "--log", "--help", "--version"})
        EXPECT_TRUE(Contains(text, option)) << option << " is missing from:\n" << text;
    const std::set<std::string> variables = ReadmeVariables();
    EXPECT_GE(variables.size(), 8u) << "the README was not read";
    for (const std::string& name : variables)
        EXPECT_TRUE(Contains(text, name)) << name << " is in the README but not in --help";
    EXPECT_FALSE(help.ReportWritten());

    Program version(dir, "C", noDisplay, {"-v"}, Captured());
    EXPECT_EQ(version.WaitForExit(), 0);
    EXPECT_EQ(version.Output(), "quillon 6.4\n");
}

TEST(CommandLineTest, UnknownOptionsAndArgumentsAreRefused) {
    TempDir dir;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "Unknown option 'bogus'"},
        {{"COM9"}, "Unexpected argument 'COM9'"},
        {{"--port"}, "Missing value after '--port'"},
    };
    for (const auto& [args, why] : cases) {
        Program program(dir, "C", {}, args, Captured());
        EXPECT_EQ(program.WaitForExit(), 2) << args[0];
        EXPECT_TRUE(Contains(program.Errors(), "quillon: " + why)) << program.Errors();
        EXPECT_TRUE(Contains(program.Errors(), "--help")) << program.Errors();
        EXPECT_FALSE(program.ReportWritten()) << args[0];
    }
}

TEST(CommandLineTest, APortNotInTheListIsAnErrorThatNamesThePortsThereAre) {
    TempDir dir;
    PtyPair com3;
    PtyPair com9;
    dir.WriteFile("ports", "COM3=" + com3.slavePath() + "\nCOM9=" + com9.slavePath() + "\n");
    {
        Program program(dir, "C", {}, {"--port", "COM24"}, Captured());
        ASSERT_EQ(program.WaitForExit(), 2) << "the window came up with another port";
        EXPECT_TRUE(Contains(program.Errors(),
                             "quillon: there is no port COM24; the ports are: COM3, COM9, "
                             "Ethernet\n"))
            << program.Errors();
        // Nothing was shown, and the settings were left alone.
        EXPECT_FALSE(program.ReportWritten());
        EXPECT_FALSE(fs::exists(dir.path() + "/config/Quillon/Quillon.ini"));
    }
    // A listed port in any case, after Qt's own options: the window comes up with it chosen.
    Program program(dir, "C", {}, {"-platform", "offscreen", "-port", "com9"});
    const auto window = program.WaitForWindow();
    ASSERT_FALSE(window.empty()) << "the window never came up";
    EXPECT_EQ(window.at("port"), "COM9");
    EXPECT_EQ(program.Close(), 0);
}

// The program installed in a folder its user cannot write to, as under /usr/bin.
TEST(SaveFolderTest, AProgramFolderThatCannotBeWrittenGivesWayToTheDocumentsFolder) {
    TempDir dir;
    const std::string bin = dir.MakeDirs("bin");
    fs::copy_file(QUILLON_BINARY, bin + "/quillon");
    for (const char* folder : {"config", "runtime", "dev", "sys"})
        dir.MakeDirs(folder);
    dir.WriteFile("script.txt", "report 1027\nclick 1026\nwait 1027 10000 Rec00.txt saved\n");
    Launch launch;
    launch.binary = bin + "/quillon";
    if (geteuid() == 0) {
        // Root writes anywhere: the program runs as nobody, who owns everything here.
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            ASSERT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
        ASSERT_EQ(chown(dir.path().c_str(), 65534, 65534), 0);
        launch.wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    fs::permissions(bin, fs::perms::owner_read | fs::perms::owner_exec);
    struct RestoreMode {
        std::string folder;
        ~RestoreMode() { chmod(folder.c_str(), 0755); }
    } restore{bin};

    Program program(dir, "C", {"QUILLON_WINDOW_SCRIPT=" + dir.path() + "/script.txt"}, {}, launch);
    const auto report = program.WaitForScript();
    ASSERT_EQ(report.count("script"), 1u) << "the window's script did not end";
    EXPECT_EQ(report.at("script"), "done");
    // The field shows the folder as it is, and the first save makes it.
    EXPECT_EQ(report.at("item1027"), dir.path() + "/Documents/Quillon/");
    EXPECT_TRUE(fs::exists(dir.path() + "/Documents/Quillon/Rec00.txt"));
    EXPECT_EQ(program.Close(), 0);
}

}  // namespace
