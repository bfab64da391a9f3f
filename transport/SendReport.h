#pragma once
// What became of bytes handed to a port: how many went through and, when a call failed,
// why. Small on purpose, so that opens and writes alike can carry their cause from the
// system call to the message a user reads.

#include <cstddef>
#include <cstdint>

namespace quillon {

// The errno of the call that failed (0 when none did) and how many bytes went through
// before it.
struct IoOutcome {
    int error = 0;
    std::size_t count = 0;

    bool failed() const { return error != 0; }
};

// The completion report of one block, handed to the owner with UM_TX_DONE: wParam holds the
// bytes written, lParam points at this report while the message is handled. Every block is
// reported once, in the order it was handed over, quiet ones and ones of which nothing went
// out included.
struct SendReport {
    std::uint64_t block = 0;  // the id Send or SendFile returned for it
    std::size_t length = 0;   // bytes the block held
    IoOutcome outcome;        // what went out, and why the rest did not
    bool quiet = false;       // handed over while quietSend was set
};

}  // namespace quillon
