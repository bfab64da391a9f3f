#pragma once
// Stand-ins for a network printer on loopback: its web page (an HTTP responder) and its raw
// port (a TCP listener). Every address is in 127.0.0.0/8; nothing leaves the machine.

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon {

// A random address 127.a.b.c (never 127.0.0.1), so tests that run side by side each have
// a port 80 of their own.
std::string RandomLoopbackAddress();

// Removes the proxy variables for the life of the object, then puts them back, so that
// requests to loopback never go anywhere else.
class ProxyFreeEnvironment {
  public:
    ProxyFreeEnvironment();
    ~ProxyFreeEnvironment();
    ProxyFreeEnvironment(const ProxyFreeEnvironment&) = delete;
    ProxyFreeEnvironment& operator=(const ProxyFreeEnvironment&) = delete;

  private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

// A listening TCP socket. Nothing is accepted unless the test asks.
class TcpListener {
  public:
    // receiveBuffer > 0 sets SO_RCVBUF, which accepted sockets inherit.
    TcpListener(const std::string& address, int port, int backlog = 8, int receiveBuffer = 0);
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // 0 when listening, else the errno of socket, bind or listen.
    int error() const { return error_; }
    int fd() const { return fd_; }
    // Waits up to timeoutMs for a connection; the accepted socket (the caller closes it) or -1.
    int Accept(int timeoutMs) const;
    // Accepts and closes every connection that is waiting right now; returns how many.
    int DrainPending() const;

  private:
    int fd_ = -1;
    int error_ = 0;
};

// A minimal web server on one address. Each connection runs on a thread of its own; all
// are stopped and joined when the object goes.
class HttpResponder {
  public:
    enum class Mode {
        kReply,           // answer each request with the reply function's text
        kSilent,          // read the request, never answer
        kTrickleHeaders,  // "200 OK", then one more header line every 100 ms, forever
        kEndlessBody,     // "200 OK" with a huge length, then body bytes as fast as they go
        kPaced,           // the pieces of a paced answer, each after its pause
    };
    using Reply = std::function<std::string(const std::string& request)>;
    // An answer sent in pieces: each waits its milliseconds after the one before.
    using PacedReply = std::vector<std::pair<int, std::string>>;

    HttpResponder(const std::string& address, Reply reply, int port = 80);
    HttpResponder(const std::string& address, Mode mode, int port = 80);
    HttpResponder(const std::string& address, PacedReply pieces, int port = 80);
    ~HttpResponder();
    HttpResponder(const HttpResponder&) = delete;
    HttpResponder& operator=(const HttpResponder&) = delete;

    // 0 when listening, else the errno of bind or listen.
    int error() const { return listener_.error(); }
    int Connections() const { return connections_; }
    std::vector<std::string> Requests() const;
    long long BodyBytesSent() const { return bodyBytesSent_; }
    // Waits until every connection so far has ended; false after limitMs.
    bool WaitAllClosed(int limitMs) const;

  private:
    void Serve();
    void Handle(int fd);
    bool Stopping(int waitMs) const;

    TcpListener listener_;
    Mode mode_;
    Reply reply_;
    PacedReply pieces_;
    int stop_;  // eventfd, signalled by the destructor
    std::atomic<int> connections_{0};
    std::atomic<int> open_{0};
    std::atomic<long long> bodyBytesSent_{0};
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    std::vector<std::thread> handlers_;
    std::thread server_;
};

// Starts a web page on port 80 of a fresh loopback address (another one while an address is
// taken) and puts the address in `address`. Null when port 80 cannot be bound at all; `error`
// then holds the errno.
std::unique_ptr<HttpResponder> StartPrinterPage(HttpResponder::Reply reply, std::string& address,
                                                int& error);
std::unique_ptr<HttpResponder> StartPrinterPage(HttpResponder::Mode mode, std::string& address,
                                                int& error);
std::unique_ptr<HttpResponder> StartPrinterPage(HttpResponder::PacedReply pieces,
                                                std::string& address, int& error);

// A complete HTTP answer with an empty body.
std::string StatusReply(int code, const std::string& reason, const std::string& extraHeaders = "");

// Reads exactly `count` bytes unless the peer closes or timeoutMs pass without any byte.
std::string ReadSome(int fd, std::size_t count, int timeoutMs = 10000);
// Writes all bytes (blocking socket) or fails the caller's expectation by returning false.
bool WriteAll(int fd, const std::string& bytes);
// Waits up to timeoutMs for the peer's end of stream: true when recv gives 0.
bool WaitForEof(int fd, int timeoutMs);
// Descriptors the process holds right now.
int OpenDescriptorCount();

// Starts a printer's web page on port 80 of a fresh loopback address (named `address`),
// or skips the test with the reason when port 80 cannot be bound.
#define START_PAGE(page, behaviour)                                                     \
    std::string address;                                                                \
    int bindError = 0;                                                                  \
    auto page = StartPrinterPage(behaviour, address, bindError);                        \
    if (!page)                                                                          \
        GTEST_SKIP() << "cannot bind port 80 on loopback (" << std::strerror(bindError) \
                     << "); run as root or allow unprivileged ports to test network printers";

}  // namespace quillon
