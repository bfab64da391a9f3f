#include "transport/SerialEventThread.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>

#include "transport/SerialLines.h"
#include "transport/platform/FdIo.h"

namespace quillon {

namespace {

// What one run of the thread works with.
struct SerialRun {
    TransportState& state;
    PortChannel& channel;
    TtyLayer& tty;
    const std::uint32_t eventMask;
    const std::uint32_t mine;

    bool Running() const { return StillRunning(state.commRunId, mine); }

    // The descriptor as it is now; -1 once the port was closed.
    int Fd() {
        std::lock_guard lock(channel.ioLock);
        return channel.serialFd;
    }

    void Notify(unsigned message, WPARAM wParam) {
        if (channel.owner && Running())
            channel.owner->SendMessage(message, wParam, 0);
    }
};

enum class ReadOutcome { kDrained, kGone, kStopped };

// Reads what has arrived, a few KiB per read, and hands it to the owner a block at a time.
ReadOutcome ReadSerial(SerialRun& run) {
    // Unlike the reader threads, the serial path widens a byte without its sign.
    const DrainResult r =
        ReadAndHandOver(run.state, run.channel, &PortChannel::serialFd, run.state.commRunId,
                        run.mine, ByteWidening::kZeroExtended, &::read);
    switch (r.end) {
        case DrainEnd::kDrained:
            return ReadOutcome::kDrained;
        case DrainEnd::kStopped:
            return ReadOutcome::kStopped;
        default:
            // 0 after a hang-up, EIO once the device is gone (a USB adapter pulled out).
            return ReadOutcome::kGone;
    }
}

// Watches CTS, DSR and DCD by sampling, where the device has them.
class LineWatch {
  public:
    LineWatch(SerialRun& run, LinesAtOpen atOpen)
        : run_(run), active_(atOpen.watch), lines_(atOpen.bits) {}

    bool active() const { return active_; }

    // One UM_LINE_STATUS per line that changed, CTS first, then DSR, then DCD.
    void Sample() {
        if (!active_)
            return;
        int now = 0;
        const LineSupport support = Read(&now);
        // A device that went away has its lines down; after that there is nothing to watch.
        if (support != LineSupport::kOk)
            active_ = false;
        const int changed = lines_ ^ now;
        lines_ = now;
        constexpr std::pair<int, std::uint32_t> kWatched[] = {
            {kLineCts, EV_CTS}, {kLineDsr, EV_DSR}, {kLineDcd, EV_RLSD}};
        for (const auto& [line, event] : kWatched) {
            if ((changed & line) && (run_.eventMask & event))
                run_.Notify(UM_LINE_STATUS, 0);
        }
    }

  private:
    LineSupport Read(int* bits) {
        std::lock_guard lock(run_.channel.ioLock);
        *bits = 0;
        if (run_.channel.serialFd < 0)
            return LineSupport::kGone;
        return run_.tty.GetLines(run_.channel.serialFd, bits);
    }

    SerialRun& run_;
    bool active_;
    int lines_;
};

// What the thread does for one open: it reads what arrives, reports the lines that change
// and writes the pending blocks. A block that waits for the printer (CTS low, XOFF) does
// not stop the rest: the printer's answers during a paper change and its lines keep coming.
class SerialWorker {
  public:
    SerialWorker(SerialRun& run, LinesAtOpen atOpen) : run_(run), lines_(run, atOpen) {}

    void Run() {
        while (run_.Running()) {
            const int fd = run_.Fd();
            if (fd < 0)
                break;
            pollfd set[3] = {{run_.channel.stop.fd(), POLLIN, 0},
                             {run_.channel.writeRequest.fd(), POLLIN, 0},
                             {Reading() ? fd : -1, POLLIN, 0}};
            // Without modem lines to sample (a pseudo-terminal) the thread sleeps until
            // something happens.
            const int n = poll(set, 3, lines_.active() ? kLineSampleMs : -1);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (set[0].revents & POLLIN)
                break;
            Serve(set[2].revents);
            if (set[1].revents & POLLIN) {
                WritePendingBlocks(
                    run_.state, run_.channel, [this] { return run_.Running(); },
                    [this](const std::vector<std::uint8_t>& bytes) { return Write(bytes); });
            }
        }
    }

  private:
    bool Reading() const { return (run_.eventMask & EV_RXCHAR) && !deviceGone_; }

    // Reads what has arrived when `revents` says so, then looks at the lines.
    void Serve(short revents) {
        // POLLNVAL: the descriptor was closed under the poll; the caller sees that next.
        if (revents && !(revents & POLLNVAL) && Reading()) {
            // A hung-up device stays readable for ever; stop looking at it, keep serving
            // Close and Send (whose writes then fail) until the owner closes the port.
            if (ReadSerial(run_) == ReadOutcome::kGone)
                deviceGone_ = true;
        }
        lines_.Sample();
    }

    // One block, in pieces of at most 4096 bytes. Unread received bytes are discarded
    // first. Output still queued from the block before is left alone: the kernel reports
    // a write done once it is queued, not once it is on the wire. A printer that holds the
    // line (CTS low, XOFF: a paper change, an open cover) is waited for for as long as the
    // port is open, and the owner hears how long; the block ends early only when the device
    // fails or the port is closed.
    IoOutcome Write(const std::vector<std::uint8_t>& block) {
        {
            std::lock_guard lock(run_.channel.ioLock);
            if (run_.channel.serialFd >= 0)
                run_.tty.Flush(run_.channel.serialFd, TtyQueue::kInput);
        }
        const std::function<bool()> running = [this] { return run_.Running(); };
        return WritePieces(run_.state, run_.channel, &PortChannel::serialFd, running, block,
                           kNoStallLimit, kWritePiece, &DeviceWrite,
                           ReportHoldsTo(run_.channel, running),
                           [this](int fd, int timeoutMs) { return WaitForRoom(fd, timeoutMs); });
    }

    // The write's wait for room, during which what arrives is read and the lines sampled
    // as in the thread's own loop. Returns as WaitReady does.
    int WaitForRoom(int fd, int timeoutMs) {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int wait = -1;
            if (timeoutMs >= 0) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
                wait = static_cast<int>(std::max<long long>(left.count(), 0));
            }
            if (lines_.active() && (wait < 0 || wait > kLineSampleMs))
                wait = kLineSampleMs;
            pollfd set[2] = {{run_.channel.stop.fd(), POLLIN, 0},
                             {fd, static_cast<short>(POLLOUT | (Reading() ? POLLIN : 0)), 0}};
            const int n = poll(set, 2, wait);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -2;
            if (set[0].revents & POLLIN)
                return -1;
            Serve(set[1].revents & ~POLLOUT);
            if (!run_.Running())
                return -1;
            // Errors and hang-ups count as room: the next write reports them.
            if (set[1].revents & (POLLOUT | POLLERR | POLLHUP | POLLNVAL))
                return 1;
            if (timeoutMs >= 0 && Clock::now() >= end)
                return 0;
        }
    }

    SerialRun& run_;
    LineWatch lines_;
    bool deviceGone_ = false;
};

}  // namespace

LinesAtOpen ReadLinesAtOpen(PortChannel& channel, TtyLayer& tty, std::uint32_t eventMask) {
    LinesAtOpen lines;
    if (!(eventMask & (EV_CTS | EV_DSR | EV_RLSD)))
        return lines;
    std::lock_guard lock(channel.ioLock);
    if (channel.serialFd >= 0)
        lines.watch = tty.GetLines(channel.serialFd, &lines.bits) == LineSupport::kOk;
    return lines;
}

void CommEventThread(SharedState state, SharedChannel channel, std::shared_ptr<TtyLayer> tty,
                     std::uint32_t eventMask, LinesAtOpen linesAtOpen, std::uint32_t mine) {
    if (mine == 0)
        return;
    SerialRun run{*state, *channel, *tty, eventMask, mine};
    // The open purged both queues already. Purging again here would throw away whatever
    // arrived between the open and the moment this thread got going.
    SerialWorker(run, linesAtOpen).Run();
    ClearRunId(state->commRunId, mine);
}

}  // namespace quillon
