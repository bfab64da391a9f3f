#pragma once
// The part of a transport that its workers share with it. It outlives the CommonUtils
// object while a worker still runs, so a worker never touches freed memory.

#include <atomic>
#include <cstdint>

namespace quillon {

struct TransportState {
    std::atomic<std::uint32_t> writeRunId{0};
    std::atomic<std::uint32_t> readRunId{0};
    std::atomic<std::uint32_t> commRunId{0};
    std::atomic<int> portKind{0};
    std::atomic<int> quietSend{0};
    std::atomic<std::uint32_t> bytesWritten{0};
    std::atomic<std::uint32_t> bytesRead{0};
};

// True while the run id of a role still names this worker.
inline bool StillRunning(const std::atomic<std::uint32_t>& runId, std::uint32_t mine) {
    return mine != 0 && runId.load() == mine;
}

// A worker that was told to stop clears its role, unless a newer worker owns it already.
inline void ClearRunId(std::atomic<std::uint32_t>& runId, std::uint32_t mine) {
    runId.compare_exchange_strong(mine, 0);
}

}  // namespace quillon
