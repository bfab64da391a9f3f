// The real program: it comes up in the language of the locale with its title, and a
// close request ends it cleanly.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

std::map<std::string, std::string> ReadReport(const std::string& path) {
    std::map<std::string, std::string> fields;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            fields[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return fields;
}

class Program {
  public:
    Program(const TempDir& dir, const std::string& lang) {
        report_ = dir.path() + "/window.txt";
        std::vector<std::string> env = {
            "QT_QPA_PLATFORM=offscreen",
            "LANG=" + lang,
            "HOME=" + dir.path(),
            "XDG_CONFIG_HOME=" + dir.MakeDirs("config"),
            "XDG_RUNTIME_DIR=" + dir.MakeDirs("runtime"),
            "QUILLON_WINDOW_REPORT=" + report_,
            "QUILLON_DEV_ROOT=" + dir.MakeDirs("dev"),
            "QUILLON_SYSFS_ROOT=" + dir.MakeDirs("sys"),
            "QUILLON_PORT_MAP=" + dir.path() + "/ports",
            "PATH=/usr/bin:/bin",
        };
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string binary = QUILLON_BINARY;
        char* argv[] = {binary.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
        spawned_ = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv, envp.data()) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (spawned_ && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool spawned() const { return spawned_; }

    // Waits for the window to describe itself.
    std::map<std::string, std::string> WaitForWindow() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            auto fields = ReadReport(report_);
            if (!fields.empty())
                return fields;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }

    // Asks the program to close as its close box would; the exit status, or -1 if it did
    // not end in time.
    int Close() {
        kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

  private:
    std::string report_;
    pid_t pid_ = -1;
    bool spawned_ = false;
    bool reaped_ = false;
};

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
