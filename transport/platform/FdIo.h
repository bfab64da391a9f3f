#pragma once
// Small waits and writes on non-blocking descriptors.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

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

// An open file that queued blocks take their bytes from: it is closed once whoever opened it
// and the last of those blocks have let go.
class SharedFile {
  public:
    explicit SharedFile(int fd) : fd_(fd) {}
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;
    int fd() const { return fd_; }

  private:
    const int fd_;
};

// Reads up to `length` bytes of the file fd from `offset` (pread, tried again when a signal
// cuts it short). Returns what pread returns: 0 where the file ends.
ssize_t ReadAt(int fd, void* data, std::size_t length, std::int64_t offset);

// Moves up to `length` bytes of the file inFd from `offset` to outFd straight from the page
// cache (sendfile). Returns what went out as write() does, 0 when the file ends at offset.
// Fails with EINVAL, ENOSYS or EOPNOTSUPP where the kernel cannot send a file to outFd.
ssize_t SendFromFile(int outFd, int inFd, std::int64_t offset, std::size_t length);

// True for a pipe or FIFO.
bool IsPipe(int fd);

// True for the errors with which SendFromFile says that outFd cannot take a file this way.
bool CannotSendFromFile(int error);

// Keeps SIGPIPE off the calling thread: a write to a pipe or socket whose reader has gone
// then fails with EPIPE instead of ending the program. DropBrokenPipeSignal discards one
// that such a write left waiting for the thread.
void HoldBrokenPipeSignal();
void DropBrokenPipeSignal();

}  // namespace quillon
