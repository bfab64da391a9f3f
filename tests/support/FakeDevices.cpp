#include "tests/support/FakeDevices.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quillon {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quillon-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::MakeDirs(const std::string& relative) const {
    const fs::path full = fs::path(path_) / relative;
    fs::create_directories(full);
    return full.string();
}

std::string TempDir::WriteFile(const std::string& relative, const std::string& content) const {
    const fs::path full = fs::path(path_) / relative;
    fs::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << content;
    return full.string();
}

PtyPair::PtyPair() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
}

void PtyPair::CloseMaster() {
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

std::string PtyPair::ReadMaster(std::size_t count, int timeoutMs) const {
    using Clock = std::chrono::steady_clock;
    std::string bytes;
    char buffer[65536];
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count && Clock::now() < deadline) {
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, 10);
        const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        } else if (n < 0 && errno == EIO) {
            // No slave is open right now (not yet, or between a close and a reopen).
            usleep(5000);
        }
    }
    return bytes;
}

std::string PtyPair::DrainMaster(int quietMs) const {
    return ReadMaster(static_cast<std::size_t>(-1) / 2, quietMs);
}

void PtyPair::WriteMaster(const std::string& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 1000);
        } else if (!(n < 0 && errno == EINTR)) {
            throw std::runtime_error("write to pty master failed");
        }
    }
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    oldLimit_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("cannot lower RLIMIT_FSIZE");
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = oldLimit_;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler_);
}

void LinkNode(const std::string& linkPath, const std::string& target) {
    fs::create_directories(fs::path(linkPath).parent_path());
    fs::create_symlink(target, linkPath);
}

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string ReadDayFile() {
    char name[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(name, sizeof name, "%Y-%m-%d.txt", &local);
    std::ifstream file(name, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

}  // namespace quillon
