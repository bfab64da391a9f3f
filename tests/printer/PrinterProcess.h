#pragma once
// The real quillon-printer, started headless for a test with its own port map, page folder
// and loopback address; its sensors changed through its standard input; ended with SIGTERM
// as a user's Ctrl+C would.

#include <csignal>
#include <string>
#include <vector>

#include "tests/support/FakeDevices.h"

namespace quillon {

class PrinterProcess {
  public:
    PrinterProcess(const TempDir& dir, const std::string& address,
                   const std::string& extraArgs = "",
                   const std::vector<std::string>& extraEnvironment = {});
    ~PrinterProcess();
    PrinterProcess(const PrinterProcess&) = delete;
    PrinterProcess& operator=(const PrinterProcess&) = delete;

    // The pseudo-terminal its port map line names, once it is there; empty after 20 s.
    std::string WaitForPort();
    // Waits for the PNG of `job`, part 1; its path, or empty after 20 s.
    std::string WaitForPage(int job) const;
    // Ends it with `signal` (SIGTERM, as a user's Ctrl+C would) and waits; its exit status.
    int Stop(int signal = SIGTERM);
    // Ends it at once, as a crash would (its port-map line stays), and waits.
    void Kill();
    // Sends a line such as "cover open" to the printer and waits until it has taken it.
    bool SetSensors(const std::string& command);
    int pid() const { return pid_; }
    // The processor time it has used, in clock ticks.
    long CpuTicks() const;
    std::string errors() const;
    const std::string& mapFile() const { return map_; }
    const std::string& pages() const { return pages_; }

  private:
    int pid_ = -1;
    std::string map_;
    std::string pages_;
    std::string errFile_;
    std::string outFile_;
    int input_ = -1;   // the printer's standard input
    int changes_ = 0;  // sensor changes it has confirmed
};

// Opens the printer's terminal side as a client does: raw, non-blocking.
int OpenClient(const std::string& device);
// Reads what arrives on fd within timeoutMs, up to `count` bytes.
std::string ReadFor(int fd, size_t count, int timeoutMs);

}  // namespace quillon
