// Figures for the transport: how fast Send moves 64 MiB to a device compared with a plain
// loop of write() calls to the same kind of sink, and the CPU an idle open USB port uses.
// Prints figures only; it judges nothing.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSinks.h"
#include "transport/CommonUtils.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::size_t kTotal = 64u << 20;
constexpr std::size_t kBlock = 1u << 20;

// An owner that counts reported bytes right on the worker's thread.
class CountingOwner : public Window {
  public:
    LRESULT SendMessage(unsigned message, WPARAM wParam, LPARAM) override {
        if (message == UM_TX_DONE) {
            std::lock_guard lock(lock_);
            written_ += wParam;
            changed_.notify_all();
        }
        return 0;
    }
    void MessageBox(const std::string&) override {}
    void WaitFor(std::size_t bytes) {
        std::unique_lock lock(lock_);
        changed_.wait(lock, [&] { return written_ >= bytes; });
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::size_t written_ = 0;
};

double SendRate(const Sink& sink, bool usb) {
    Drain drain(sink.testEnd);
    auto owner = std::make_shared<CountingOwner>();
    CommonUtils port;
    const OpenOutcome opened = usb ? port.OpenUsb(owner, "/dev/usb/lp0#usb#vid_0416&pid_5011#bench")
                                   : port.OpenParallel(owner, "LPT1");
    if (!opened) {
        std::fprintf(stderr, "could not open the bench sink\n");
        std::exit(1);
    }
    std::vector<char> block(kBlock, 'x');
    const auto start = Clock::now();
    for (std::size_t done = 0; done < kTotal; done += kBlock)
        port.Send(block.data(), static_cast<int>(block.size()));
    owner->WaitFor(kTotal);
    const double seconds = Seconds(Clock::now() - start);
    port.Close();
    return kTotal / seconds;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void Throughput(const char* name, const Sink& sink, bool usb) {
    const double plain = PlainWriteRate(sink, kTotal);
    const double viaSend = SendRate(sink, usb);
    std::printf("%-28s Send %8.1f MiB/s   plain write() %8.1f MiB/s   ratio %.2f\n", name,
                viaSend / (1 << 20), plain / (1 << 20), viaSend / plain);
}

}  // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / ("quillon-bench-" + std::to_string(getpid()));
    fs::create_directories(root);
    setenv("QUILLON_DEV_ROOT", root.c_str(), 1);

    std::printf("64 MiB through Send in 1 MiB blocks, against write() of 4096-byte pieces\n");
    const Sink pty = MakePty((root / "usb/lp0").string());
    Throughput("USB port on a pty", pty, true);
    const Sink fifo = MakeFifo((root / "lp0").string());
    Throughput("parallel port on a FIFO", fifo, false);

    // Idle: reader and writer running, nothing to read, nothing to write.
    auto owner = std::make_shared<CountingOwner>();
    CommonUtils idle;
    idle.OpenUsb(owner, "/dev/usb/lp0#usb#vid_0416&pid_5011#bench");
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    idle.Close();
    std::printf("idle open USB port, 5 s: %.1f ms CPU (%.3f%% of one core)\n", cpu * 1000,
                cpu / 5 * 100);

    close(pty.testEnd);
    close(fifo.testEnd);
    fs::remove_all(root);
    return 0;
}
