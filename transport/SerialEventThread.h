#pragma once
// The one worker of a serial port opened with OpenSerial: it reads received bytes, writes
// the pending send blocks and reports modem-line changes, until the port is closed.

#include <cstdint>
#include <memory>

#include "transport/WorkerThreads.h"
#include "transport/platform/TtyLayer.h"

namespace quillon {

// How often the modem lines are looked at while a port that has them is open.
constexpr int kLineSampleMs = 100;

// The modem lines as they were when the port opened: changes are reported against them.
struct LinesAtOpen {
    bool watch = false;  // the mask asks for line events and the device has the lines
    int bits = 0;
};
// Read on the opening thread, so that a change right after the open is not missed.
LinesAtOpen ReadLinesAtOpen(PortChannel& channel, TtyLayer& tty, std::uint32_t eventMask);

void CommEventThread(SharedState state, SharedChannel channel, std::shared_ptr<TtyLayer> tty,
                     std::uint32_t eventMask, LinesAtOpen linesAtOpen, std::uint32_t runId);

}  // namespace quillon
