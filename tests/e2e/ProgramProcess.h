#pragma once
// The real program, started offscreen as a user would in a temporary home, describing its
// window in a report file; ended as its close box would end it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FakeDevices.h"

namespace quillon {

inline std::map<std::string, std::string> ReadReport(const std::string& path) {
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

// How the program is started beyond its language, environment and arguments.
struct Launch {
    std::string binary = QUILLON_BINARY;  // or a copy of it elsewhere
    std::vector<std::string> wrapper;     // a command that runs it, such as setpriv ...
    bool captureOutput = false;           // its output to stdout.txt and stderr.txt
};

class Program {
  public:
    // `extra` adds to the environment ("NAME=value"); `args` are the program's arguments.
    Program(const TempDir& dir, const std::string& lang, const std::vector<std::string>& extra = {},
            std::vector<std::string> args = {}, Launch launch = {})
        : dir_(dir.path()) {
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
        // An entry of `extra` takes the place of the one of the same name.
        for (const std::string& entry : extra) {
            const std::string name = entry.substr(0, entry.find('=') + 1);
            std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
            env.push_back(entry);
        }
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> command = launch.wrapper;
        command.push_back(launch.binary);
        command.insert(command.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : command)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
        if (launch.captureOutput) {
            const int flags = O_WRONLY | O_CREAT | O_TRUNC;
            posix_spawn_file_actions_addopen(&actions, 1, (dir_ + "/stdout.txt").c_str(), flags,
                                             0644);
            posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/stderr.txt").c_str(), flags,
                                             0644);
        }
        spawned_ = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
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
    std::map<std::string, std::string> WaitForWindow() { return WaitForReport("title"); }
    // Waits for a report that holds `key`.
    std::map<std::string, std::string> WaitForReport(const std::string& key, int seconds = 30) {
        return WaitFor([&](const auto& fields) { return fields.count(key) > 0; }, seconds);
    }
    // Waits for a window script's outcome: its reports say "script=running" until it ends.
    std::map<std::string, std::string> WaitForScript(int seconds = 30) {
        return WaitFor(
            [](const auto& fields) {
                const auto it = fields.find("script");
                return it != fields.end() && it->second != "running";
            },
            seconds);
    }

    // Asks the program to close as its close box would; the exit status, or -1 if it did
    // not end in time.
    int Close() {
        kill(pid_, SIGTERM);
        return WaitForExit();
    }

    // Waits for the program to end by itself; its exit status, or -1 if it did not end in
    // time.
    int WaitForExit(int seconds = 30) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
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

    // What it wrote to standard output or standard error, with Launch::captureOutput.
    std::string Output() const { return ReadWhole(dir_ + "/stdout.txt"); }
    std::string Errors() const { return ReadWhole(dir_ + "/stderr.txt"); }
    bool ReportWritten() const { return access(report_.c_str(), F_OK) == 0; }

  private:
    static std::string ReadWhole(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Reads the report until done(fields) holds, at most `seconds`; empty when it never did.
    template <class Done>
    std::map<std::string, std::string> WaitFor(Done done, int seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            auto fields = ReadReport(report_);
            if (done(fields))
                return fields;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }

    std::string dir_;
    std::string report_;
    pid_t pid_ = -1;
    bool spawned_ = false;
    bool reaped_ = false;
};

}  // namespace quillon
