#pragma once
// Opening a serial device for one user only.

#include <string>

#include "transport/OpenOutcome.h"

namespace quillon {

// Opens the device for reading and writing, non-blocking, without making it the
// controlling terminal, and claims it: flock(LOCK_EX) keeps out every other open, also
// one by root, and TIOCEXCL keeps out other programs that do not lock. A device that a
// live UUCP lock file gives to another program is left alone, as that program expects.
// Returns the descriptor, or -1 with *why (when asked) saying which step failed and why:
// the device is absent (kDevice), refused (kDevice, EACCES, with who may use it), no
// terminal (kTerminal: a plain file, a FIFO or a tape is never opened at all) or held by
// another open (kClaim, EBUSY, with the holder where Linux tells).
int OpenTtyExclusive(const std::string& path, OpenOutcome* why = nullptr);

// Gives up the claim of OpenTtyExclusive at once. Closing alone is not enough: a thread
// still in poll() on the descriptor keeps the open file, and with it the lock, until it
// wakes, so a reopen right after a close could find the port still taken.
void ReleaseTtyClaim(int fd);

}  // namespace quillon
