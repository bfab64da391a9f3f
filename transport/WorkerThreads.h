#pragma once
// The workers of an open port. Each runs for one role of one open, checks its run id on
// every pass, and ends by itself; nothing joins or waits for it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "transport/PortChannel.h"
#include "transport/SendReport.h"
#include "transport/TransportState.h"
#include "transport/platform/FdIo.h"

namespace quillon {

using SharedState = std::shared_ptr<TransportState>;
using SharedChannel = std::shared_ptr<PortChannel>;

// Writes each pending block of a parallel, USB or network port.
void WriteThread(SharedState state, SharedChannel channel, std::uint32_t runId);
// Reads what a USB or network printer sends back and hands it to the owner byte by byte.
void ReadThread(SharedState state, SharedChannel channel, std::uint32_t runId);

constexpr std::size_t kWritePiece = 4096;  // largest write per call to a device
// Largest piece of a file range per call to a parallel, USB or network port. A pipe takes
// what fits of it (64 KiB when empty) and the writer then waits for room; other devices
// are offered what was read of the file for them.
constexpr std::size_t kFilePiece = 1 << 20;
constexpr int kNoStallLimit = -1;
// How long a synchronous write (SendDirect) may go without any byte going out.
constexpr int kDirectWriteStallMs = 2000;

// A "keep going" test for a worker: its role's run id still names it.
inline std::function<bool()> Running(const std::atomic<std::uint32_t>& runId, std::uint32_t mine) {
    return [&runId, mine] { return StillRunning(runId, mine); };
}

using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t length);

// Told, about once a second, for how many milliseconds a block has been waiting for the
// printer to take a byte (it holds the line: CTS low, XOFF, a full socket), and told 0
// once it takes bytes again or the block ends.
using HoldReport = std::function<void(int heldMs)>;
constexpr int kHoldReportMs = 1000;

// How a writer waits for room on fd between pieces: returns as WaitReady(fd, POLLOUT,
// stop, timeoutMs) does, which is what it is unless the writer has other duties meanwhile.
using RoomWait = std::function<int(int fd, int timeoutMs)>;

// Writes a block to the channel's descriptor `field` in pieces of at most pieceLimit bytes
// (4096 unless said otherwise) with `write` (DeviceWrite unless said otherwise),
// waiting for room in between. A piece with no room is tried again once there is room;
// the block ends early when keepGoing() turns false, the port closes or is stopped, the
// device fails (the rest is dropped; the outcome carries its errno), or, with a stallMs of
// 0 or more, when no byte has gone out for that long (ETIMEDOUT). A piece the device takes
// only part of is not tried again until there is room. Returns what went out; bytesWritten
// holds the last piece.
IoOutcome WritePieces(TransportState& state, PortChannel& channel, int PortChannel::*field,
                      const std::function<bool()>& keepGoing,
                      const std::vector<std::uint8_t>& block, int stallMs,
                      std::size_t pieceLimit = kWritePiece, WriteCall write = &DeviceWrite,
                      const HoldReport& onHold = {}, const RoomWait& waitForRoom = {});

// Writes a range of a file as WritePieces writes a block, each piece sent straight from the
// file to a pipe, else read and written with `write`. The block also ends early where the
// file ends (it has become shorter: no error) or cannot be read (the read's errno).
IoOutcome WriteFileRange(TransportState& state, PortChannel& channel, int PortChannel::*field,
                         const std::function<bool()>& keepGoing, const FileRange& range,
                         int stallMs, std::size_t pieceLimit = kFilePiece,
                         WriteCall write = &DeviceWrite, const HoldReport& onHold = {});

// A file range read into memory; it ends early where the file ends or cannot be read.
std::vector<std::uint8_t> ReadFileRange(const FileRange& range);

// A fresh, non-zero id for a worker that is about to start.
std::uint32_t NextRunId();

// Stores a fresh id in the role's run id, then starts body(id) on a detached thread.
// When no thread can be made the run id goes back to what it was.
void LaunchWorker(std::atomic<std::uint32_t>& runId,
                  const std::function<void(std::uint32_t)>& body);

// Takes the pending blocks oldest first, writes each with write(block), and reports each
// in one UM_TX_DONE with its SendReport: quiet blocks and blocks of which nothing went out
// included, so that the owner can match every report to its block and learn of every
// failure. Ends when no block is left or keepGoing() turns false; a writer that no longer
// runs reports nothing.
void WritePendingBlocks(TransportState& state, PortChannel& channel,
                        const std::function<bool()>& keepGoing,
                        const std::function<IoOutcome(const PendingBlock&)>& write);
// The same for a writer of bytes alone: a file range reaches it read into memory.
void WritePendingBlocks(TransportState& state, PortChannel& channel,
                        const std::function<bool()>& keepGoing,
                        const std::function<IoOutcome(const std::vector<std::uint8_t>&)>& write);

// The owner's UM_TX_HELD for a writer's HoldReport, while keepGoing() holds.
HoldReport ReportHoldsTo(const PortChannel& channel, const std::function<bool()>& keepGoing);

// How a received byte becomes the wParam of its UM_RX_BYTE: the serial line-event thread
// passes 0 to 255, the reader threads widen it with its sign (receivers use the low 8 bits).
enum class ByteWidening { kZeroExtended, kSignExtended };

constexpr std::size_t kReadSize = 4096;       // what one read asks for
constexpr std::size_t kHandOverSize = 65536;  // largest block handed to the owner at once
constexpr int kLingerMs = 1;                  // a busy line's wait for the next piece of a block
constexpr int kHandOversPerPass = 4;          // then the worker looks at its other duties again

enum class DrainEnd {
    kDrained,     // nothing more is waiting, or the pass has had its share
    kEndOfInput,  // a read returned 0: the peer closed the connection or the line hung up
    kFailed,      // a read failed; error holds the reason
    kStopped,     // the worker no longer runs for this port, or the port was closed
};
struct DrainResult {
    DrainEnd end = DrainEnd::kDrained;
    int error = 0;
    long handedOver = 0;  // bytes handed to the owner
};

using ReadCall = ssize_t (*)(int fd, void* buffer, std::size_t length);

// Reads what is waiting on the channel's descriptor `field` with `read` and hands it to
// the owner in blocks of up to kHandOverSize bytes, one UM_RX_BLOCK each, until nothing
// more is waiting. Each read holds the channel's lock; the hand-over does not.
DrainResult ReadAndHandOver(TransportState& state, PortChannel& channel, int PortChannel::*field,
                            const std::atomic<std::uint32_t>& runId, std::uint32_t mine,
                            ByteWidening widening, ReadCall read);

// Hands bytes to the owner in one UM_RX_BLOCK, while the run id still names the worker.
void HandOverBytes(const PortChannel& channel, const std::atomic<std::uint32_t>& runId,
                   std::uint32_t mine, const std::uint8_t* bytes, std::size_t count,
                   ByteWidening widening);

// How many workers of all transports are still running. They end by themselves; this
// lets tests, and the program on its way out, see that they have.
int LiveWorkerCount();

}  // namespace quillon
