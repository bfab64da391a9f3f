#pragma once
// The workers of an open port. Each runs for one role of one open, checks its run id on
// every pass, and ends by itself; nothing joins or waits for it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "transport/PortChannel.h"
#include "transport/TransportState.h"

using SharedState = std::shared_ptr<TransportState>;
using SharedChannel = std::shared_ptr<PortChannel>;

// Writes each pending block of a parallel, USB or network port.
void WriteThread(SharedState state, SharedChannel channel, std::uint32_t runId);
// Reads what a USB or network printer sends back and hands it to the owner byte by byte.
void ReadThread(SharedState state, SharedChannel channel, std::uint32_t runId);

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
