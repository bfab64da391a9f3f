#include "tests/support/LoopbackPeers.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <random>

namespace quillon {

namespace {

constexpr const char* kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                           "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};

// Waits for fd to become readable or the stop event; true when fd is readable.
bool WaitReadable(int fd, int stopFd, int timeoutMs) {
    pollfd set[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    int n;
    do {
        n = poll(set, stopFd >= 0 ? 2 : 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0 && !(set[1].revents & POLLIN) && set[0].revents;
}

bool SendAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string RandomLoopbackAddress() {
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> part(1, 254);
    return "127." + std::to_string(part(random)) + "." + std::to_string(part(random)) + "." +
           std::to_string(part(random));
}

ProxyFreeEnvironment::ProxyFreeEnvironment() {
    for (const char* name : kProxyVariables) {
        if (const char* value = std::getenv(name)) {
            saved_.emplace_back(name, value);
            unsetenv(name);
        }
    }
}

ProxyFreeEnvironment::~ProxyFreeEnvironment() {
    for (const char* name : kProxyVariables)
        unsetenv(name);
    for (const auto& [name, value] : saved_)
        setenv(name.c_str(), value.c_str(), 1);
}

TcpListener::TcpListener(const std::string& address, int port, int backlog, int receiveBuffer) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (receiveBuffer > 0)
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        listen(fd_, backlog) != 0) {
        error_ = errno;
        close(fd_);
        fd_ = -1;
    }
}

TcpListener::~TcpListener() {
    if (fd_ >= 0)
        close(fd_);
}

int TcpListener::Accept(int timeoutMs) const {
    if (fd_ < 0 || !WaitReadable(fd_, -1, timeoutMs))
        return -1;
    return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

int TcpListener::DrainPending() const {
    int count = 0;
    while (fd_ >= 0 && WaitReadable(fd_, -1, 0)) {
        const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return count;
        close(fd);
        ++count;
    }
    return count;
}

HttpResponder::HttpResponder(const std::string& address, Reply reply, int port)
    : listener_(address, port, 16),
      mode_(Mode::kReply),
      reply_(std::move(reply)),
      stop_(eventfd(0, EFD_CLOEXEC)) {
    if (listener_.error() == 0)
        server_ = std::thread([this] { Serve(); });
}

HttpResponder::HttpResponder(const std::string& address, Mode mode, int port)
    : listener_(address, port, 16), mode_(mode), stop_(eventfd(0, EFD_CLOEXEC)) {
    if (listener_.error() == 0)
        server_ = std::thread([this] { Serve(); });
}

HttpResponder::HttpResponder(const std::string& address, PacedReply pieces, int port)
    : listener_(address, port, 16),
      mode_(Mode::kPaced),
      pieces_(std::move(pieces)),
      stop_(eventfd(0, EFD_CLOEXEC)) {
    if (listener_.error() == 0)
        server_ = std::thread([this] { Serve(); });
}

HttpResponder::~HttpResponder() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(stop_, &one, sizeof one);
    if (server_.joinable())
        server_.join();
    for (auto& handler : handlers_)
        handler.join();
    close(stop_);
}

std::vector<std::string> HttpResponder::Requests() const {
    std::lock_guard lock(lock_);
    return requests_;
}

bool HttpResponder::WaitAllClosed(int limitMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (open_ > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool HttpResponder::Stopping(int waitMs) const {
    pollfd p{stop_, POLLIN, 0};
    return poll(&p, 1, waitMs) > 0;
}

void HttpResponder::Serve() {
    while (WaitReadable(listener_.fd(), stop_, -1)) {
        const int fd = accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++connections_;
        ++open_;
        std::lock_guard lock(lock_);
        handlers_.emplace_back([this, fd] {
            Handle(fd);
            close(fd);
            --open_;
        });
    }
}

void HttpResponder::Handle(int fd) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        // One request: everything up to the blank line.
        std::size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            if (!WaitReadable(fd, stop_, -1))
                return;
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            pending.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string request = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        {
            std::lock_guard lock(lock_);
            requests_.push_back(request);
        }
        switch (mode_) {
            case Mode::kReply: {
                const std::string answer = reply_(request);
                if (!SendAll(fd, answer.data(), answer.size()))
                    return;
                break;  // wait for the next request on this connection
            }
            case Mode::kSilent:
                // Hold the connection until the client gives up.
                while (WaitReadable(fd, stop_, -1) && recv(fd, buffer, sizeof buffer, 0) > 0) {
                }
                return;
            case Mode::kTrickleHeaders: {
                const std::string status = "HTTP/1.1 200 OK\r\n";
                if (!SendAll(fd, status.data(), status.size()))
                    return;
                for (int i = 0; !Stopping(100); ++i) {
                    const std::string line = "X-Pad-" + std::to_string(i) + ": waiting\r\n";
                    if (!SendAll(fd, line.data(), line.size()))
                        return;
                }
                return;
            }
            case Mode::kPaced:
                for (const auto& [pauseMs, piece] : pieces_) {
                    if (Stopping(pauseMs) || !SendAll(fd, piece.data(), piece.size()))
                        return;
                }
                break;  // wait for the next request on this connection
            case Mode::kEndlessBody: {
                const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\n";
                if (!SendAll(fd, head.data(), head.size()))
                    return;
                const std::string chunk(65536, 'x');
                while (!Stopping(0) && SendAll(fd, chunk.data(), chunk.size()))
                    bodyBytesSent_ += static_cast<long long>(chunk.size());
                return;
            }
        }
    }
}

namespace {

template <typename Behaviour>
std::unique_ptr<HttpResponder> StartOnFreeAddress(const Behaviour& behaviour, std::string& address,
                                                  int& error) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        address = RandomLoopbackAddress();
        auto page = std::make_unique<HttpResponder>(address, behaviour);
        error = page->error();
        if (error == 0)
            return page;
        if (error != EADDRINUSE)
            break;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<HttpResponder> StartPrinterPage(HttpResponder::Reply reply, std::string& address,
                                                int& error) {
    return StartOnFreeAddress(reply, address, error);
}

std::unique_ptr<HttpResponder> StartPrinterPage(HttpResponder::Mode mode, std::string& address,
                                                int& error) {
    return StartOnFreeAddress(mode, address, error);
}

std::unique_ptr<HttpResponder> StartPrinterPage(HttpResponder::PacedReply pieces,
                                                std::string& address, int& error) {
    return StartOnFreeAddress(pieces, address, error);
}

std::string StatusReply(int code, const std::string& reason, const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n" + extraHeaders +
           "Content-Length: 0\r\n\r\n";
}

std::string ReadSome(int fd, std::size_t count, int timeoutMs) {
    std::string bytes;
    char buffer[65536];
    while (bytes.size() < count && WaitReadable(fd, -1, timeoutMs)) {
        const ssize_t n =
            recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

bool WriteAll(int fd, const std::string& bytes) {
    return SendAll(fd, bytes.data(), bytes.size());
}

bool WaitForEof(int fd, int timeoutMs) {
    char buffer[4096];
    while (WaitReadable(fd, -1, timeoutMs)) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0)
            return true;
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
    return false;
}

int OpenDescriptorCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

}  // namespace quillon
