#include "transport/platform/EventFd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace quillon {

EventFd::EventFd() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

EventFd::~EventFd() {
    if (fd_ >= 0)
        close(fd_);
}

void EventFd::Signal() {
    std::uint64_t one = 1;
    // A full counter (EAGAIN) is still signalled, which is all that matters.
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void EventFd::Reset() {
    std::uint64_t value;
    while (read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool EventFd::IsSignalled() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

}  // namespace quillon
