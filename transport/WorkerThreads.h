#pragma once
// The workers of an open port. Each runs for one role of one open, checks its run id on
// every pass, and ends by itself; nothing joins or waits for it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "transport/PortChannel.h"
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
constexpr int kNoStallLimit = -1;
// How long a synchronous write (SendDirect) may go without any byte going out.
constexpr int kDirectWriteStallMs = 2000;

// A "keep going" test for a worker: its role's run id still names it.
inline std::function<bool()> Running(const std::atomic<std::uint32_t>& runId, std::uint32_t mine) {
    return [&runId, mine] { return StillRunning(runId, mine); };
}

using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t length);

// Writes a block to the channel's descriptor `field` in pieces of at most pieceLimit bytes
// (4096 unless said otherwise) with `write` (DeviceWrite unless said otherwise),
// waiting for room in between. A piece with no room is tried again once there is room;
// the block ends early when keepGoing() turns false, the port closes or is stopped, the
// device fails (the rest is dropped), or, with a stallMs of 0 or more, when no byte has
// gone out for that long. Returns what went out; bytesWritten holds the last piece.
long WritePieces(TransportState& state, PortChannel& channel, int PortChannel::*field,
                 const std::function<bool()>& keepGoing, const std::vector<std::uint8_t>& block,
                 int stallMs, std::size_t pieceLimit = kWritePiece, WriteCall write = &DeviceWrite);

// A fresh, non-zero id for a worker that is about to start.
std::uint32_t NextRunId();

// Stores a fresh id in the role's run id, then starts body(id) on a detached thread.
// When no thread can be made the run id goes back to what it was.
void LaunchWorker(std::atomic<std::uint32_t>& runId,
                  const std::function<void(std::uint32_t)>& body);

// Hands bytes to the owner one message each, in order, while the run id still matches.
void DeliverBytes(const PortChannel& channel, const std::atomic<std::uint32_t>& runId,
                  std::uint32_t mine, const std::uint8_t* bytes, long count);

// How many workers of all transports are still running. They end by themselves; this
// lets tests, and the program on its way out, see that they have.
int LiveWorkerCount();

}  // namespace quillon
