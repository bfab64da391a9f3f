#include "transport/platform/FdIo.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

int WaitReady(int fd, short events, int stopFd, int timeoutMs) {
    pollfd set[2] = {{stopFd, POLLIN, 0}, {fd, events, 0}};
    for (;;) {
        const int n = poll(set, 2, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -2;
        if (n == 0)
            return 0;
        if (set[0].revents & POLLIN)
            return -1;
        // Errors and hang-ups count as ready: the next read or write reports them.
        return 1;
    }
}

bool WaitStop(int stopFd, int timeoutMs) {
    pollfd p{stopFd, POLLIN, 0};
    for (;;) {
        const int n = poll(&p, 1, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0;
    }
}

long WriteWithStallTimeout(int fd, const void* data, std::size_t length, int stallTimeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    auto lastProgress = Clock::now();
    bool pollSaidReady = false;
    while (done < length) {
        const ssize_t n = write(fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            lastProgress = Clock::now();
            pollSaidReady = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            break;
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress)
                .count();
        const int left = stallTimeoutMs - static_cast<int>(waited);
        if (left <= 0)
            break;
        // A driver without poll support reports room it does not have: pace the retries.
        if (pollSaidReady)
            usleep(5000);
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, left);
        if (ready > 0 && (p.revents & (POLLERR | POLLNVAL)))
            break;
        pollSaidReady = ready > 0;
    }
    return static_cast<long>(done);
}

namespace {
std::atomic<DeviceWriteCall> deviceWriteCall{&::write};
}

ssize_t DeviceWrite(int fd, const void* data, std::size_t length) {
    return deviceWriteCall.load()(fd, data, length);
}

void SetDeviceWriteCall(DeviceWriteCall call) {
    deviceWriteCall = call ? call : &::write;
}
