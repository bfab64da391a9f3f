#include "transport/platform/TtyOpen.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quillon {

int OpenTtyExclusive(const std::string& path) {
    if (path.empty())
        return -1;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    // Fails on a device that is not a terminal; the configuration step reports that.
    (void)ioctl(fd, TIOCEXCL);
    return fd;
}

void ReleaseTtyClaim(int fd) {
    if (fd < 0)
        return;
    (void)ioctl(fd, TIOCNXCL);
    (void)flock(fd, LOCK_UN);
}

}  // namespace quillon
