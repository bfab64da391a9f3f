#include "transport/WorkerThreads.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include "transport/DiagnosticLog.h"
#include "transport/platform/FdIo.h"

namespace quillon {

namespace {

constexpr int kUsbReadWaitMs = 50;   // wait for a USB read to complete
constexpr int kUsbIdlePauseMs = 50;  // pause after a USB pass that brought nothing
constexpr int kRecheckMs = 1000;     // how often a writer waiting for room looks at its run id

constexpr const char* kReadThreadName = "CommonUtils::ReadThread";
constexpr const char* kSourceName = ".\\CommonUtils";

// The result of one syscall made under the channel's lock.
struct IoResult {
    int fd;
    ssize_t count;
    int error;
};

template <typename Call>
IoResult UnderLock(PortChannel& channel, int PortChannel::*field, Call call) {
    std::lock_guard lock(channel.ioLock);
    const int fd = channel.*field;
    if (fd < 0)
        return {fd, -1, EBADF};
    errno = 0;
    const ssize_t n = call(fd);
    return {fd, n, errno};
}

// Sends never raise SIGPIPE: a printer that has gone away is an error, not a signal.
ssize_t SendNoSignal(int fd, const void* data, std::size_t length) {
    return send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
}

ssize_t ReceiveNoWait(int fd, void* buffer, std::size_t length) {
    return recv(fd, buffer, length, MSG_DONTWAIT);
}

void Notify(const PortChannel& channel, unsigned message, WPARAM wParam, LPARAM lParam = 0) {
    if (channel.owner)
        channel.owner->SendMessage(message, wParam, lParam);
}

int CurrentFd(PortChannel& channel, int PortChannel::*field) {
    std::lock_guard lock(channel.ioLock);
    return channel.*field;
}

// One pass of a USB reader: wait up to 50 ms for data and take all that is waiting. While
// the printer sends nothing the passes keep their 50 ms rhythm; while it sends, the next
// pass follows at once. Returns false once the port is being closed.
bool ReadUsbPass(TransportState& state, PortChannel& channel, std::uint32_t mine) {
    const int fd = CurrentFd(channel, &PortChannel::usbReadFd);
    if (fd < 0)
        return false;
    const int ready = WaitReady(fd, POLLIN, channel.stop.fd(), kUsbReadWaitMs);
    if (ready == -1)
        return false;
    bool idle = true;
    if (ready == 0) {
        LogWrite(kReadThreadName, "Read file wait timeout.", kLogFileName, kSourceName, 1025);
    } else {
        const DrainResult r =
            ReadAndHandOver(state, channel, &PortChannel::usbReadFd, state.readRunId, mine,
                            ByteWidening::kSignExtended, &::read);
        if (r.end == DrainEnd::kFailed) {
            LogWriteFormat(kReadThreadName, kLogFileName, kSourceName, 1030,
                           "Read file error. The error is: %d", r.error);
        }
        idle = r.handedOver == 0;
    }
    return !idle || !WaitStop(channel.stop.fd(), kUsbIdlePauseMs);
}

// One pass of a network reader: wait for data without a time limit (the stop event or a
// closed socket ends the wait), then take all that is waiting. Returns false when the
// reader is done.
bool ReadSocketPass(TransportState& state, PortChannel& channel, std::uint32_t mine) {
    const int fd = CurrentFd(channel, &PortChannel::socketFd);
    if (fd < 0)
        return false;
    if (WaitReady(fd, POLLIN, channel.stop.fd(), -1) == -1)
        return false;
    const DrainResult r = ReadAndHandOver(state, channel, &PortChannel::socketFd, state.readRunId,
                                          mine, ByteWidening::kSignExtended, &ReceiveNoWait);
    if (r.end == DrainEnd::kDrained)
        return true;
    if (r.end == DrainEnd::kStopped)
        return false;
    // An orderly close (0) or a broken connection: the printer is gone either way. Say so
    // once, and only while this reader still belongs to the open port.
    if (StillRunning(state.readRunId, mine))
        Notify(channel, UM_NET_CLOSED, 0);
    return false;
}

std::atomic<int> liveWorkers{0};

// Tells a HoldReport of a block that waits for the printer: once a whole second more has
// gone by without a byte going out, and once more (with 0) when bytes go out again or the
// block ends.
class HoldWatch {
  public:
    explicit HoldWatch(const HoldReport& report) : report_(report) {}
    ~HoldWatch() { Taken(); }
    HoldWatch(const HoldWatch&) = delete;
    HoldWatch& operator=(const HoldWatch&) = delete;

    void Waited(long long ms) {
        if (!report_ || ms < kHoldReportMs || ms / kHoldReportMs == reportedSeconds_)
            return;
        reportedSeconds_ = ms / kHoldReportMs;
        report_(static_cast<int>(ms));
    }
    void Taken() {
        if (reportedSeconds_ == 0)
            return;
        reportedSeconds_ = 0;
        report_(0);
    }

  private:
    const HoldReport& report_;
    long long reportedSeconds_ = 0;
};

// The loop of WritePieces and WriteFileRange. move(fd, position, length, offered) makes one
// try at moving up to length bytes from position of the block to fd, under the channel's
// lock, sets offered to what it put before the device (length, or less where its own buffer
// ends), and returns as write() does.
template <typename Move>
IoOutcome MovePieces(TransportState& state, PortChannel& channel, int PortChannel::*field,
                     const std::function<bool()>& keepGoing, std::size_t size, int stallMs,
                     std::size_t pieceLimit, const HoldReport& onHold, const RoomWait& waitForRoom,
                     Move move) {
    using Clock = std::chrono::steady_clock;
    IoOutcome outcome;
    std::size_t& position = outcome.count;
    auto lastProgress = Clock::now();
    bool pollSaidReady = false;
    HoldWatch hold(onHold);
    while (position < size && keepGoing()) {
        const std::size_t piece = std::min(size - position, pieceLimit);
        std::size_t offered = piece;
        state.bytesWritten = 0;
        const IoResult r =
            UnderLock(channel, field, [&](int fd) { return move(fd, position, piece, offered); });
        if (r.count > 0) {
            state.bytesWritten = static_cast<std::uint32_t>(r.count);
            position += static_cast<std::size_t>(r.count);
            lastProgress = Clock::now();
            pollSaidReady = false;
            hold.Taken();
            // A device that took only part of what it was offered is full: asking again at
            // once could only fail with EAGAIN, so wait for room first, as a blocking write
            // would inside the kernel.
            if (static_cast<std::size_t>(r.count) == offered || position == size)
                continue;
        } else if (r.fd < 0) {
            break;
        } else if (r.count < 0 && r.error == EINTR) {
            continue;
        } else if (r.count < 0 && r.error != EAGAIN) {
            // Nothing went out. 0 bytes or EAGAIN: no room now; anything else: the device
            // failed or is gone.
            outcome.error = r.error;
            break;
        }
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress)
                .count();
        int wait = kRecheckMs;
        if (stallMs >= 0) {
            wait = std::min(wait, stallMs - static_cast<int>(waited));
            if (wait <= 0) {
                outcome.error = ETIMEDOUT;
                break;
            }
        }
        if (r.count <= 0) {
            hold.Waited(waited);
            // A driver that says there is room and then takes nothing: pace the retries.
            if (pollSaidReady && WaitStop(channel.stop.fd(), 10))
                break;
        }
        const int ready = waitForRoom ? waitForRoom(r.fd, wait)
                                      : WaitReady(r.fd, POLLOUT, channel.stop.fd(), wait);
        if (ready < 0)
            break;
        pollSaidReady = ready == 1;
    }
    return outcome;
}

// Where the file of a range ends or cannot be read, its block ends: the move fails with
// this error, which the writing loop takes as the end of the block.
constexpr int kFileEnded = ENODATA;
// What one read of the file takes where it is read and written. Bytes read ahead of the
// device go out even if the file is cut short meanwhile: this bounds how many can.
constexpr std::size_t kCopyPiece = 64 << 10;

// Moves the pieces of a file range to a descriptor. A pipe gets them straight from the page
// cache (sendfile), which hands it the pages without a copy. Everything else gets them read
// into memory and written: a terminal or device copies what it is sent anyway, and sendfile
// to it reads a whole piece of the file for every call, however little the device then
// takes (a pty takes 4 to 6 KiB); a socket on loopback, where the virtual printer listens,
// costs less processor time handed bytes than handed pages (about 0.04 s against 0.05 s for
// 64 MiB, sender and receiver together).
class FileRangeMover {
  public:
    FileRangeMover(const FileRange& range, WriteCall write) : range_(range), write_(write) {}

    ssize_t operator()(int fd, std::size_t position, std::size_t length, std::size_t& offered) {
        if (way_ == Way::kUndecided)
            way_ = IsPipe(fd) ? Way::kSend : Way::kCopy;
        if (way_ == Way::kSend) {
            const ssize_t n = SendFromFile(fd, range_.file->fd(), At(position), length);
            if (n == 0) {
                errno = kFileEnded;
                return -1;
            }
            if (n > 0 || !CannotSendFromFile(errno))
                return Checked(n);
            way_ = Way::kCopy;
        }
        return Checked(Copy(fd, position, length, offered));
    }

  private:
    // A reader that has gone leaves a SIGPIPE waiting for this thread; EPIPE says enough.
    static ssize_t Checked(ssize_t n) {
        if (n < 0 && errno == EPIPE)
            DropBrokenPipeSignal();
        return n;
    }

    std::int64_t At(std::size_t position) const {
        return range_.offset + static_cast<std::int64_t>(position);
    }

    ssize_t Copy(int fd, std::size_t position, std::size_t length, std::size_t& offered) {
        // A piece the device took only part of is written on from what was read for it.
        if (position < bufferStart_ || position >= bufferStart_ + buffer_.size()) {
            buffer_.resize(std::min(length, kCopyPiece));
            const ssize_t got =
                ReadAt(range_.file->fd(), buffer_.data(), buffer_.size(), At(position));
            if (got <= 0) {
                buffer_.clear();
                if (got == 0)
                    errno = kFileEnded;
                return -1;
            }
            buffer_.resize(static_cast<std::size_t>(got));
            bufferStart_ = position;
        }
        const std::size_t skip = position - bufferStart_;
        offered = std::min(length, buffer_.size() - skip);
        return write_(fd, buffer_.data() + skip, offered);
    }

    enum class Way { kUndecided, kSend, kCopy };
    const FileRange& range_;
    const WriteCall write_;
    Way way_ = Way::kUndecided;  // how this descriptor gets the file
    std::vector<std::uint8_t> buffer_;
    std::size_t bufferStart_ = 0;  // where buffer_ starts in the range
};

}  // namespace

int LiveWorkerCount() {
    return liveWorkers;
}

void HandOverBytes(const PortChannel& channel, const std::atomic<std::uint32_t>& runId,
                   std::uint32_t mine, const std::uint8_t* bytes, std::size_t count,
                   ByteWidening widening) {
    if (count == 0 || !channel.owner || !StillRunning(runId, mine))
        return;
    const ReceivedBlock block{bytes, count, widening == ByteWidening::kSignExtended, &runId, mine};
    channel.owner->SendMessage(UM_RX_BLOCK, reinterpret_cast<WPARAM>(&block), 0);
}

DrainResult ReadAndHandOver(TransportState& state, PortChannel& channel, int PortChannel::*field,
                            const std::atomic<std::uint32_t>& runId, std::uint32_t mine,
                            ByteWidening widening, ReadCall read) {
    std::uint8_t buffer[kHandOverSize];
    DrainResult result;
    for (int handOvers = 0; handOvers < kHandOversPerPass; ++handOvers) {
        // Gather what is there. A device that delivers in small pieces (a terminal gives at
        // most 4 KiB a read) while the line is busy gets a moment to deliver the next one,
        // so a flood reaches the owner in a few large blocks instead of many small ones.
        std::size_t filled = 0;
        std::size_t lastRead = 0;
        bool drained = false;
        while (filled < sizeof buffer) {
            if (!StillRunning(runId, mine)) {
                result.end = DrainEnd::kStopped;
                break;
            }
            const IoResult r = UnderLock(channel, field, [&](int fd) {
                return read(fd, buffer + filled, std::min(kReadSize, sizeof buffer - filled));
            });
            if (r.count > 0) {
                state.bytesRead = static_cast<std::uint32_t>(r.count);
                lastRead = static_cast<std::size_t>(r.count);
                filled += lastRead;
                continue;
            }
            if (r.fd < 0) {
                result.end = DrainEnd::kStopped;
                break;
            }
            if (r.count < 0 && r.error == EINTR)
                continue;
            if (r.count < 0 && r.error == EAGAIN) {
                // Busy: the last read brought a piece near the most a read gives.
                if (lastRead >= kReadSize / 2) {
                    lastRead = 0;
                    if (WaitReady(r.fd, POLLIN, channel.stop.fd(), kLingerMs) == 1)
                        continue;
                }
                drained = true;
                break;
            }
            result.end = r.count == 0 ? DrainEnd::kEndOfInput : DrainEnd::kFailed;
            result.error = r.error;
            break;
        }
        HandOverBytes(channel, runId, mine, buffer, filled, widening);
        result.handedOver += static_cast<long>(filled);
        if (result.end != DrainEnd::kDrained || drained)
            return result;
    }
    return result;
}

void WritePendingBlocks(TransportState& state, PortChannel& channel,
                        const std::function<bool()>& keepGoing,
                        const std::function<IoOutcome(const PendingBlock&)>& write) {
    // Reset before taking the blocks, so a Send that comes in meanwhile wakes us again.
    channel.writeRequest.Reset();
    while (keepGoing()) {
        std::optional<PendingBlock> block = channel.Pop();
        if (!block)
            return;
        state.bytesWritten = 0;
        SendReport report;
        report.block = block->id;
        report.length = block->fromFile() ? block->range.length : block->bytes.size();
        report.quiet = block->quiet;
        report.outcome = write(*block);
        if (keepGoing()) {
            Notify(channel, UM_TX_DONE, static_cast<WPARAM>(report.outcome.count),
                   reinterpret_cast<LPARAM>(&report));
        }
    }
}

void WritePendingBlocks(TransportState& state, PortChannel& channel,
                        const std::function<bool()>& keepGoing,
                        const std::function<IoOutcome(const std::vector<std::uint8_t>&)>& write) {
    WritePendingBlocks(state, channel, keepGoing, [&write](const PendingBlock& block) {
        return block.fromFile() ? write(ReadFileRange(block.range)) : write(block.bytes);
    });
}

HoldReport ReportHoldsTo(const PortChannel& channel, const std::function<bool()>& keepGoing) {
    return [&channel, keepGoing](int heldMs) {
        if (keepGoing())
            Notify(channel, UM_TX_HELD, static_cast<WPARAM>(heldMs));
    };
}

IoOutcome WritePieces(TransportState& state, PortChannel& channel, int PortChannel::*field,
                      const std::function<bool()>& keepGoing,
                      const std::vector<std::uint8_t>& block, int stallMs, std::size_t pieceLimit,
                      WriteCall write, const HoldReport& onHold, const RoomWait& waitForRoom) {
    return MovePieces(state, channel, field, keepGoing, block.size(), stallMs, pieceLimit, onHold,
                      waitForRoom,
                      [&](int fd, std::size_t position, std::size_t length, std::size_t&) {
                          return write(fd, block.data() + position, length);
                      });
}

IoOutcome WriteFileRange(TransportState& state, PortChannel& channel, int PortChannel::*field,
                         const std::function<bool()>& keepGoing, const FileRange& range,
                         int stallMs, std::size_t pieceLimit, WriteCall write,
                         const HoldReport& onHold) {
    if (!range.file)
        return {};
    IoOutcome outcome = MovePieces(state, channel, field, keepGoing, range.length, stallMs,
                                   pieceLimit, onHold, {}, FileRangeMover(range, write));
    // A file that has become shorter ends its block there: no failure of the port.
    if (outcome.error == kFileEnded)
        outcome.error = 0;
    return outcome;
}

std::vector<std::uint8_t> ReadFileRange(const FileRange& range) {
    std::vector<std::uint8_t> bytes(range.file ? range.length : 0);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ReadAt(range.file->fd(), bytes.data() + got, bytes.size() - got,
                                 range.offset + static_cast<std::int64_t>(got));
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

std::uint32_t NextRunId() {
    static std::atomic<std::uint32_t> next{0};
    std::uint32_t id;
    do {
        id = ++next;
    } while (id == 0);
    return id;
}

void LaunchWorker(std::atomic<std::uint32_t>& runId,
                  const std::function<void(std::uint32_t)>& body) {
    const std::uint32_t previous = runId.load();
    const std::uint32_t id = NextRunId();
    // The id is in place before the thread runs its first pass.
    runId = id;
    try {
        ++liveWorkers;
        std::thread([body, id] {
            body(id);
            --liveWorkers;
        }).detach();
    } catch (const std::system_error&) {
        --liveWorkers;
        std::uint32_t expected = id;
        runId.compare_exchange_strong(expected, previous);
    }
}

void WriteThread(SharedState state, SharedChannel channel, std::uint32_t mine) {
    if (mine == 0)
        return;
    // A FIFO or socket whose reader has gone fails the write; it must not end the program.
    HoldBrokenPipeSignal();
    while (StillRunning(state->writeRunId, mine)) {
        pollfd set[2] = {{channel->stop.fd(), POLLIN, 0}, {channel->writeRequest.fd(), POLLIN, 0}};
        if (poll(set, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (set[0].revents & POLLIN)
            break;
        if (!(set[1].revents & POLLIN))
            continue;
        // A socket takes the whole block in one call where it can; what it does not take
        // is sent once there is room, so nothing is silently cut off.
        const bool network = channel->kind == kPortNetwork;
        const auto field = network ? &PortChannel::socketFd : &PortChannel::writeFd;
        const WriteCall write = network ? &SendNoSignal : &DeviceWrite;
        const auto running = Running(state->writeRunId, mine);
        // A printer that takes nothing for a while is waited for, for as long as the port is
        // open; the owner hears how long.
        const HoldReport held = ReportHoldsTo(*channel, running);
        WritePendingBlocks(*state, *channel, running, [&](const PendingBlock& block) {
            const std::size_t bytePiece = network ? block.bytes.size() : kWritePiece;
            const IoOutcome outcome =
                block.fromFile() ? WriteFileRange(*state, *channel, field, running, block.range,
                                                  kNoStallLimit, kFilePiece, write, held)
                                 : WritePieces(*state, *channel, field, running, block.bytes,
                                               kNoStallLimit, bytePiece, write, held);
            if (network)
                state->bytesWritten = static_cast<std::uint32_t>(outcome.count);
            return outcome;
        });
    }
    ClearRunId(state->writeRunId, mine);
}

void ReadThread(SharedState state, SharedChannel channel, std::uint32_t mine) {
    while (StillRunning(state->readRunId, mine)) {
        state->bytesRead = 0;
        const bool goOn = channel->kind == kPortNetwork ? ReadSocketPass(*state, *channel, mine)
                                                        : ReadUsbPass(*state, *channel, mine);
        if (!goOn)
            break;
    }
    ClearRunId(state->readRunId, mine);
}

}  // namespace quillon
