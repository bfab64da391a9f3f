#pragma once
// Small waits and writes on non-blocking descriptors.

#include <sys/types.h>

#include <cstddef>

namespace quillon {

// Waits until fd is ready for `events` (POLLIN or POLLOUT) or stopFd is signalled, at most
// timeoutMs (-1: no limit). Returns 1 ready, 0 timed out, -1 stopped, -2 on a poll error.
int WaitReady(int fd, short events, int stopFd, int timeoutMs);

// Waits for stopFd alone for up to timeoutMs; true when it was signalled.
bool WaitStop(int stopFd, int timeoutMs);

// Every write of a block to a serial, parallel or USB device goes through this call, so tests
// can see the size of each piece. It is ::write unless a test puts another in its place.
using DeviceWriteCall = ssize_t (*)(int fd, const void* data, std::size_t length);
ssize_t DeviceWrite(int fd, const void* data, std::size_t length);
void SetDeviceWriteCall(DeviceWriteCall call);

}  // namespace quillon
