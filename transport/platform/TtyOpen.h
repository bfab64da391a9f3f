#pragma once
// Opening a serial device for one user only.

#include <string>

namespace quillon {

// Opens the device for reading and writing, non-blocking, without making it the
// controlling terminal, and claims it: flock(LOCK_EX) keeps out every other open, also
// one by root, and TIOCEXCL keeps out other programs that do not lock. Returns the
// descriptor, or -1 when the device is absent or already in use. A path that is no
// terminal device (a plain file, a FIFO, a tape, ...) is never opened: -1, with
// *noTerminal set when the caller asks.
int OpenTtyExclusive(const std::string& path, bool* noTerminal = nullptr);

// Gives up the claim of OpenTtyExclusive at once. Closing alone is not enough: a thread
// still in poll() on the descriptor keeps the open file, and with it the lock, until it
// wakes, so a reopen right after a close could find the port still taken.
void ReleaseTtyClaim(int fd);

}  // namespace quillon
