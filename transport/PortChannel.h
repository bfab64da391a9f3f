#pragma once
// The resources of one open port, shared by the transport and the workers of that open.
// Close revokes the descriptors at once (under ioLock, so no syscall of a worker is cut
// in half) and drops the transport's share; the events and the pending blocks live on
// until the last worker lets go of them.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "transport/PortKind.h"
#include "transport/Window.h"
#include "transport/platform/EventFd.h"
#include "transport/platform/FdIo.h"

namespace quillon {

// A stretch of an open file, taken from the file when the writer gets to it.
struct FileRange {
    std::shared_ptr<const SharedFile> file;
    std::int64_t offset = 0;
    std::size_t length = 0;
};

// One Send: the bytes, its id, and whether the owner asked for it not to be counted
// (quietSend as it stood when the block was handed over, so setting it back afterwards
// cannot race with the writer). A SendFile block holds a range of a file instead of bytes.
struct PendingBlock {
    std::vector<std::uint8_t> bytes;
    bool quiet = false;
    FileRange range;
    std::uint64_t id = 0;  // what the block's report names it by

    bool fromFile() const { return range.file != nullptr; }
};

struct PortChannel {
    PortChannel(PortKind kind, WindowRef owner);
    ~PortChannel();
    PortChannel(const PortChannel&) = delete;
    PortChannel& operator=(const PortChannel&) = delete;

    const PortKind kind;
    const WindowRef owner;
    EventFd stop;          // signalled by Close: every worker of this open ends
    EventFd writeRequest;  // signalled by Send: the writing thread has blocks to write

    // False when an event could not be made (the process is out of descriptors): such a
    // channel can neither be stopped nor woken, so the open fails instead of using it.
    bool EventsReady() const { return stop.valid() && writeRequest.valid(); }

    // Held around every syscall on a descriptor, never across a wait or a message.
    // Recursive so that the serial side can keep it around a whole configuration.
    std::recursive_mutex ioLock;
    int serialFd = -1;
    int usbReadFd = -1;
    int writeFd = -1;
    int socketFd = -1;

    // Shuts a socket down and closes every descriptor; later syscalls see -1.
    void Revoke();

    // Pending send blocks, oldest first; each Send adds one and the writer takes them in order.
    void Push(PendingBlock block);
    std::optional<PendingBlock> Pop();
    void DropPending();

  private:
    std::mutex queueLock_;
    std::deque<PendingBlock> queue_;
};

}  // namespace quillon
