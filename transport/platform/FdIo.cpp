#include "transport/platform/FdIo.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace quillon {

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

namespace {
std::atomic<DeviceWriteCall> deviceWriteCall{&::write};
}

ssize_t DeviceWrite(int fd, const void* data, std::size_t length) {
    return deviceWriteCall.load()(fd, data, length);
}

void SetDeviceWriteCall(DeviceWriteCall call) {
    deviceWriteCall = call ? call : &::write;
}

}  // namespace quillon
