#pragma once
// Small waits and writes on non-blocking descriptors.

#include <cstddef>

// How long a synchronous write may go without any byte going out before it gives up.
constexpr int kDirectWriteStallMs = 2000;

// Waits until fd is ready for `events` (POLLIN or POLLOUT) or stopFd is signalled, at most
// timeoutMs (-1: no limit). Returns 1 ready, 0 timed out, -1 stopped, -2 on a poll error.
int WaitReady(int fd, short events, int stopFd, int timeoutMs);

// Waits for stopFd alone for up to timeoutMs; true when it was signalled.
bool WaitStop(int stopFd, int timeoutMs);

// Writes the whole block to a non-blocking descriptor, waiting for room in between.
// Gives up when stallTimeoutMs pass without progress or on an error. Returns how many
// bytes went out.
long WriteWithStallTimeout(int fd, const void* data, std::size_t length, int stallTimeoutMs);
