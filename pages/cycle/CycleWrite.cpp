#include "pages/cycle/CycleWrite.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "transport/platform/FdIo.h"

namespace quillon {

namespace {

constexpr std::size_t kPiece = 4096;  // largest write per call to a terminal

ssize_t WriteSome(CycleDevice device, int fd, const std::uint8_t* data, std::size_t length) {
    if (device == CycleDevice::kSocket)
        return send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    return DeviceWrite(fd, data, std::min(length, kPiece));
}

}  // namespace

std::size_t WriteEveryByte(CycleDevice device, int fd, const std::uint8_t* data, std::size_t length,
                           int cancelFd) {
    using Clock = std::chrono::steady_clock;
    std::size_t done = 0;
    auto lastProgress = Clock::now();
    bool saidReady = false;
    while (fd >= 0 && done < length) {
        const ssize_t n = WriteSome(device, fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            lastProgress = Clock::now();
            saidReady = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            break;
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
        const int left = kCycleWriteStallMs - static_cast<int>(waited.count());
        if (left <= 0)
            break;
        // A driver that says there is room and then takes nothing: pace the retries.
        if (saidReady && WaitStop(cancelFd, 10))
            break;
        const int ready = WaitReady(fd, POLLOUT, cancelFd, left);
        if (ready < 0)
            break;
        saidReady = ready == 1;
    }
    return done;
}

}  // namespace quillon
