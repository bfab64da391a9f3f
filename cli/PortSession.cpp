#include "cli/PortSession.h"

#include <poll.h>

#include <algorithm>
#include <csignal>
#include <utility>

#include "transport/SendReport.h"
#include "transport/SerialLines.h"

namespace quillon::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

// How often a wait looks at the interrupt flag: a signal handler cannot wake a condition
// variable.
constexpr auto kInterruptPoll = std::chrono::milliseconds(20);

}  // namespace

bool Interrupted() {
    return interrupted != 0;
}

void CatchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of our output that goes away (`| head`) ends the output, not the program.
    signal(SIGPIPE, SIG_IGN);
}

// What the workers report, kept for the command's thread.
class PortSession::Inbox : public Window {
  public:
    LRESULT SendMessage(unsigned message, WPARAM wParam, LPARAM lParam) override {
        std::lock_guard lock(mutex);
        switch (message) {
            case UM_RX_BLOCK: {
                const auto* block = reinterpret_cast<const ReceivedBlock*>(wParam);
                if (block && block->Live())
                    received.insert(received.end(), block->bytes, block->bytes + block->count);
                break;
            }
            case UM_RX_BYTE:
                received.push_back(static_cast<std::uint8_t>(wParam));
                break;
            case UM_TX_DONE: {
                ++reported;
                written += static_cast<std::size_t>(wParam);
                const auto* report = reinterpret_cast<const SendReport*>(lParam);
                if (report && report->outcome.failed() && writeError == 0)
                    writeError = report->outcome.error;
                heldMs = 0;
                break;
            }
            case UM_TX_HELD:
                // Said each second while the printer takes nothing, 0 once it takes again.
                heldMs = static_cast<long long>(wParam);
                heldAt = Clock::now();
                break;
            case UM_NET_CLOSED:
                closed = true;
                break;
            default:
                break;
        }
        changed.notify_all();
        return 0;
    }
    void MessageBox(const std::string&) override {}

    mutable std::mutex mutex;
    std::condition_variable changed;
    Bytes received;
    std::size_t reported = 0;
    std::size_t written = 0;
    int writeError = 0;
    bool closed = false;   // the network peer closed the connection
    bool hungUp = false;   // the serial line hung up
    long long heldMs = 0;  // how long the printer had taken nothing when last told
    Clock::time_point heldAt;
};

PortSession::PortSession() : inbox_(std::make_shared<Inbox>()) {}

PortSession::~PortSession() {
    Close();
}

OpenOutcome PortSession::Open(const PortTarget& target) {
    switch (target.kind) {
        case kPortSerial: {
            const SerialSettings& s = target.serial;
            // DTR and RTS on, as the window opens a port by default.
            return transport_.OpenSerial(inbox_, target.serialNumber, s.baudRate, s.parity,
                                         s.dataBits, s.stopBits, s.flow, EV_RXCHAR, 1, 1);
        }
        case kPortParallel:
            return transport_.OpenParallel(inbox_, target.name.c_str());
        case kPortUsb:
            return transport_.OpenUsb(inbox_, target.device.c_str());
        case kPortNetwork:
            return transport_.OpenNetwork(inbox_, target.device.c_str(), target.tcpPort,
                                          target.probeWebPage);
        default:
            return OpenFailure(OpenStep::kSettings, EINVAL, target.name);
    }
}

void PortSession::Close() {
    transport_.Close();
}

bool PortSession::Send(const Bytes& bytes) {
    // Blocks of at most 64 KiB: the writer takes an int length, and a long send reports its
    // progress block by block, so that a stall can say how far it got.
    constexpr std::size_t kBlock = 64u << 10;
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        const std::size_t length = std::min(kBlock, bytes.size() - at);
        if (transport_.Send(bytes.data() + at, static_cast<int>(length)) == 0)
            return false;
        ++handedOver_;
    }
    return true;
}

WaitEnd PortSession::WaitForSends(std::chrono::milliseconds stallLimit) {
    std::unique_lock lock(inbox_->mutex);
    while (true) {
        if (inbox_->writeError != 0 || inbox_->closed)
            return WaitEnd::kClosed;
        if (inbox_->reported >= handedOver_)
            return WaitEnd::kDone;
        if (Interrupted())
            return WaitEnd::kInterrupted;
        // A slow line that keeps taking bytes is no stall, however long a block takes.
        const auto held =
            std::chrono::milliseconds(inbox_->heldMs) + (Clock::now() - inbox_->heldAt);
        if (inbox_->heldMs > 0 && held >= stallLimit)
            return WaitEnd::kTimeOut;
        inbox_->changed.wait_for(lock, kInterruptPoll);
    }
}

WaitEnd PortSession::WaitForAnswer(Clock::time_point deadline,
                                   const std::function<bool(const Bytes&)>& done) {
    std::unique_lock lock(inbox_->mutex);
    while (true) {
        if (done(inbox_->received))
            return WaitEnd::kDone;
        if (inbox_->closed || LineHungUp())
            return WaitEnd::kClosed;
        if (Interrupted())
            return WaitEnd::kInterrupted;
        const auto now = Clock::now();
        if (now >= deadline)
            return WaitEnd::kTimeOut;
        inbox_->changed.wait_for(lock, std::min<Clock::duration>(deadline - now, kInterruptPoll));
    }
}

void PortSession::DrainStale(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    std::unique_lock lock(inbox_->mutex);
    while (!Interrupted()) {
        const std::size_t before = inbox_->received.size();
        const auto now = Clock::now();
        if (now >= end)
            break;
        inbox_->changed.wait_for(lock, std::min<Clock::duration>(quiet, end - now));
        if (inbox_->received.size() == before && Clock::now() - now >= quiet)
            break;
    }
    inbox_->received.clear();
}

bool PortSession::LineHungUp() {
    // The serial worker stops reading a terminal that hung up (an adapter pulled out, a
    // virtual printer that ended) and says nothing; the descriptor still tells.
    const int fd = transport_.GetSerialHandle();
    if (fd < 0)
        return false;
    pollfd line = {fd, 0, 0};
    if (poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR))) {
        inbox_->hungUp = true;
        return true;
    }
    return false;
}

Bytes PortSession::Received() const {
    std::lock_guard lock(inbox_->mutex);
    return inbox_->received;
}

Bytes PortSession::TakeReceived() {
    std::lock_guard lock(inbox_->mutex);
    return std::exchange(inbox_->received, {});
}

std::size_t PortSession::written() const {
    std::lock_guard lock(inbox_->mutex);
    return inbox_->written;
}

int PortSession::writeError() const {
    std::lock_guard lock(inbox_->mutex);
    return inbox_->writeError;
}

bool PortSession::hungUp() const {
    std::lock_guard lock(inbox_->mutex);
    return inbox_->hungUp;
}

}  // namespace quillon::cli
