#include "transport/PortChannel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <utility>

#include "transport/platform/TtyOpen.h"

namespace quillon {

PortChannel::PortChannel(PortKind kind, WindowRef owner) : kind(kind), owner(std::move(owner)) {}

PortChannel::~PortChannel() {
    Revoke();
}

void PortChannel::Revoke() {
    std::lock_guard lock(ioLock);
    if (socketFd >= 0) {
        // Wakes a reader or writer that sits in the socket and tells the peer we are gone.
        shutdown(socketFd, SHUT_RDWR);
    }
    // Lets a reopen of the serial port in at once, even while a worker still polls it.
    ReleaseTtyClaim(serialFd);
    for (int* fd : {&serialFd, &writeFd, &usbReadFd, &socketFd}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void PortChannel::Push(PendingBlock block) {
    std::lock_guard lock(queueLock_);
    queue_.push_back(std::move(block));
}

std::optional<PendingBlock> PortChannel::Pop() {
    std::lock_guard lock(queueLock_);
    if (queue_.empty())
        return std::nullopt;
    PendingBlock block = std::move(queue_.front());
    queue_.pop_front();
    return block;
}

void PortChannel::DropPending() {
    std::lock_guard lock(queueLock_);
    queue_.clear();
}

}  // namespace quillon
