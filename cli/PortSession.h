#pragma once
// One open port for one command. The transport's workers report to an inbox (received bytes,
// finished sends, a peer that closed); the command waits on it, always with a limit, and
// stops waiting at once when the user interrupts.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/PortTarget.h"
#include "transport/CommonUtils.h"
#include "transport/OpenOutcome.h"

namespace quillon::cli {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// Set by SIGINT and SIGTERM; every wait ends soon after.
bool Interrupted();
void CatchInterrupts();

// How a wait ended.
enum class WaitEnd { kDone, kTimeOut, kInterrupted, kClosed };

class PortSession {
  public:
    PortSession();
    ~PortSession();
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    OpenOutcome Open(const PortTarget& target);
    void Close();

    // Hands the bytes to the writer; false when the port is not open.
    bool Send(const Bytes& bytes);
    // Waits until every block handed over is reported written, or until the printer has
    // taken nothing for `stallLimit` (as the writer reports, a second at a time). kClosed: a write
    // failed or the peer closed (see written() and writeError()).
    WaitEnd WaitForSends(std::chrono::milliseconds stallLimit);

    // Waits until `done` holds for everything received so far, until `deadline`, until the
    // peer closes or until the user interrupts. `done` runs with the inbox locked.
    WaitEnd WaitForAnswer(Clock::time_point deadline,
                          const std::function<bool(const Bytes&)>& done);
    // Throws away what has arrived until the port has been quiet for `quiet` (at most
    // `limit` in all): answers meant for an earlier asker.
    void DrainStale(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);

    Bytes Received() const;
    // What has arrived since the last call, taken out of the inbox.
    Bytes TakeReceived();
    // Bytes the printer took, counted from the reports of finished blocks.
    std::size_t written() const;
    // errno of the write that failed, 0 when none did.
    int writeError() const;
    // The serial line hung up while an answer was awaited.
    bool hungUp() const;

  private:
    // True once the serial line reports a hang-up; called with the inbox locked.
    bool LineHungUp();

    class Inbox;
    std::shared_ptr<Inbox> inbox_;
    CommonUtils transport_;
    std::size_t handedOver_ = 0;  // blocks given to the writer
};

}  // namespace quillon::cli
