#include "tests/printer/PrinterProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "transport/PortMapFile.h"

namespace quillon {

namespace {

bool Until(const std::function<bool()>& done, int seconds = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace

PrinterProcess::PrinterProcess(const TempDir& dir, const std::string& address,
                               const std::string& extraArgs,
                               const std::vector<std::string>& extraEnvironment) {
    map_ = dir.path() + "/ports";
    pages_ = dir.path() + "/pages";
    errFile_ = dir.path() + "/printer-errors.txt";
    outFile_ = dir.path() + "/printer-output.txt";
    std::vector<std::string> args = {QUILLON_PRINTER, "--headless", "--out",     pages_,
                                     "--port-map",    map_,         "--address", address,
                                     "--idle-ms",     "200"};
    std::istringstream extra(extraArgs);
    for (std::string word; extra >> word;)
        args.push_back(word);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "HOME=" + dir.path(),
                                    "XDG_RUNTIME_DIR=" + dir.MakeDirs("runtime"),
                                    "PATH=/usr/bin:/bin"};
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int input[2] = {-1, -1};
    if (pipe2(input, O_CLOEXEC) != 0)
        return;
    input_ = input[1];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
}

PrinterProcess::~PrinterProcess() {
    Stop();
    if (input_ >= 0)
        close(input_);
}

bool PrinterProcess::SetSensors(const std::string& command) {
    const std::string line = command + "\n";
    if (input_ < 0 || write(input_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return false;
    ++changes_;
    return Until([&] {
        std::ifstream in(outFile_);
        int confirmed = 0;
        for (std::string said; std::getline(in, said);)
            confirmed += said.rfind("state: ", 0) == 0;
        return confirmed >= changes_;
    });
}

int PrinterProcess::Stop(int signal) {
    if (pid_ < 0)
        return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
}

void PrinterProcess::Kill() {
    if (pid_ < 0)
        return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string PrinterProcess::WaitForPort() {
    std::string device;
    Until([&] {
        std::ifstream in(map_);
        std::string line;
        while (std::getline(in, line)) {
            const auto entry = ParsePortMapLine(line);
            if (entry && entry->owner == pid_ && entry->path.rfind("/dev/pts/", 0) == 0)
                device = entry->path;
        }
        return !device.empty();
    });
    return device;
}

std::string PrinterProcess::WaitForPage(int job) const {
    char name[64];
    std::snprintf(name, sizeof name, "/job-%04d-01.png", job);
    const std::string path = pages_ + name;
    return Until([&] { return access(path.c_str(), R_OK) == 0; }) ? path : "";
}

long PrinterProcess::CpuTicks() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

std::string PrinterProcess::errors() const {
    std::ifstream in(errFile_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int OpenClient(const std::string& device) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        termios raw{};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    return fd;
}

std::string ReadFor(int fd, size_t count, int timeoutMs) {
    std::string bytes;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buf[4096];
        const ssize_t n = read(fd, buf, std::min(sizeof buf, count - bytes.size()));
        if (n <= 0)
            break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    return bytes;
}

}  // namespace quillon
