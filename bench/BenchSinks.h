#pragma once
// Stand-in devices for the benchmarks: a pty or a FIFO at the path the program opens, and a
// thread that drains and counts what arrives at the other end.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace quillon::bench {

// Reads and counts everything that arrives on fd until told to stop.
class Drain {
  public:
    explicit Drain(int fd)
        : thread_([this, fd] {
              std::vector<char> buffer(1 << 16);
              while (!stop_) {
                  pollfd p{fd, POLLIN, 0};
                  if (poll(&p, 1, 20) <= 0)
                      continue;
                  const ssize_t n = read(fd, buffer.data(), buffer.size());
                  if (n > 0)
                      received_ += static_cast<std::size_t>(n);
                  else if (n < 0 && errno == EIO)
                      usleep(1000);  // between a close and a reopen of the device
                  else if (n == 0)
                      usleep(1000);  // the writer has gone; a FIFO waits for the next
              }
          }) {}
    ~Drain() {
        stop_ = true;
        thread_.join();
    }
    std::size_t received() const { return received_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> received_{0};
    std::thread thread_;
};

struct Sink {
    std::string node;  // what the program opens
    int testEnd = -1;  // what the drain reads
};

// A raw pty whose terminal side is linked at node.
inline Sink MakePty(const std::string& node) {
    int master, slave;
    openpty(&master, &slave, nullptr, nullptr, nullptr);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    const std::string slavePath = ttyname(slave);
    close(slave);
    std::filesystem::create_directories(std::filesystem::path(node).parent_path());
    std::filesystem::remove(node);
    std::filesystem::create_symlink(slavePath, node);
    return {node, master};
}

// A FIFO at node, with its reading end open.
inline Sink MakeFifo(const std::string& node) {
    std::filesystem::create_directories(std::filesystem::path(node).parent_path());
    std::filesystem::remove(node);
    mkfifo(node.c_str(), 0600);
    return {node, open(node.c_str(), O_RDONLY | O_NONBLOCK)};
}

inline double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Bytes per second of a plain loop of 4096-byte write() calls of `total` bytes to fd.
inline double PlainWriteRate(int fd, std::size_t total) {
    std::vector<char> chunk(4096, 'x');
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t done = 0; done < total;) {
        const ssize_t n = write(fd, chunk.data(), chunk.size());
        if (n > 0)
            done += static_cast<std::size_t>(n);
    }
    return total / Seconds(std::chrono::steady_clock::now() - start);
}

// The same to the sink, opened for the purpose and drained meanwhile.
inline double PlainWriteRate(const Sink& sink, std::size_t total) {
    Drain drain(sink.testEnd);
    const int fd = open(sink.node.c_str(), O_WRONLY | O_NOCTTY);
    const double rate = PlainWriteRate(fd, total);
    close(fd);
    return rate;
}

}  // namespace quillon::bench
