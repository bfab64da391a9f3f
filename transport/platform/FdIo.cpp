#include "transport/platform/FdIo.h"

#include <poll.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

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

SharedFile::~SharedFile() {
    if (fd_ >= 0)
        close(fd_);
}

ssize_t ReadAt(int fd, void* data, std::size_t length, std::int64_t offset) {
    ssize_t n;
    do {
        n = pread(fd, data, length, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SendFromFile(int outFd, int inFd, std::int64_t offset, std::size_t length) {
    off_t at = static_cast<off_t>(offset);
    return sendfile(outFd, inFd, &at, length);
}

bool IsPipe(int fd) {
    struct stat status;
    return fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode);
}

bool CannotSendFromFile(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

namespace {
sigset_t BrokenPipeSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}
}  // namespace

void HoldBrokenPipeSignal() {
    const sigset_t set = BrokenPipeSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void DropBrokenPipeSignal() {
    const sigset_t set = BrokenPipeSet();
    sigset_t pending;
    if (sigpending(&pending) != 0 || !sigismember(&pending, SIGPIPE))
        return;
    const timespec noWait{0, 0};
    const int saved = errno;
    sigtimedwait(&set, nullptr, &noWait);
    errno = saved;
}

}  // namespace quillon
