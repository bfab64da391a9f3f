// CPU used by an open network printer connection while nothing happens on it: the reader
// and writer threads must sleep in poll, not spin. Prints figures; no pass or fail.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>

#include "tests/support/LoopbackPeers.h"
#include "transport/CommonUtils.h"

using namespace quillon;

namespace {

constexpr int kRawPort = 9100;
constexpr int kIdleSeconds = 5;

// An owner that only counts what arrives; it answers on the worker's own thread.
class CountingWindow : public Window {
  public:
    LRESULT SendMessage(unsigned message, WPARAM, LPARAM) override {
        if (message == UM_NET_CLOSED)
            ++closed;
        else
            ++other;
        return 0;
    }
    void MessageBox(const std::string&) override {}
    std::atomic<int> closed{0};
    std::atomic<int> other{0};
};

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void MeasureIdle(const char* what) {
    const double before = ProcessCpuMs();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpuMs = ProcessCpuMs() - before;
    std::printf("%-44s %6.0f ms wall  %8.3f ms CPU  %6.3f %% of one core\n", what, wallMs, cpuMs,
                100.0 * cpuMs / wallMs);
}

}  // namespace

int main() {
    ProxyFreeEnvironment environment;
    std::string address;
    int error = 0;
    auto page =
        StartPrinterPage([](const std::string&) { return StatusReply(200, "OK"); }, address, error);
    if (!page) {
        std::printf("cannot bind port 80 on loopback (%s): run as root\n", std::strerror(error));
        return 1;
    }
    TcpListener raw(address, kRawPort);
    if (raw.error() != 0) {
        std::printf("cannot listen on %s:%d (%s)\n", address.c_str(), kRawPort,
                    std::strerror(raw.error()));
        return 1;
    }

    auto window = std::make_shared<CountingWindow>();
    CommonUtils transport;
    if (!transport.OpenNetwork(window, address.c_str(), kRawPort)) {
        std::printf("OpenNetwork(%s, %d) failed\n", address.c_str(), kRawPort);
        return 1;
    }
    const int peer = raw.Accept(5000);
    std::printf("network printer on %s: page on port 80, raw port %d, idle %d s each\n",
                address.c_str(), kRawPort, kIdleSeconds);

    MeasureIdle("open, nothing to read or write:");

    // The printer hangs up: the reader ends, the writer waits for the owner's Close.
    close(peer);
    while (window->closed == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    MeasureIdle("printer hung up, port not yet closed:");

    transport.Close();
    std::printf("messages: %d UM_NET_CLOSED, %d others\n", window->closed.load(),
                window->other.load());
    return 0;
}
