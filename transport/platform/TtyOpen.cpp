#include "transport/platform/TtyOpen.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "transport/platform/DeviceCause.h"
#include "transport/platform/DeviceRoots.h"

namespace quillon {

namespace {

// Pseudo-terminal slaves (/dev/pts/<n>) have these majors and no entry in the device tree.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;

// A character device that a terminal driver registered: every one of them is in the tty
// class of the device tree, except pseudo-terminal slaves, which have fixed majors.
bool IsTerminalDevice(const struct stat& info) {
    if (!S_ISCHR(info.st_mode))
        return false;
    const unsigned deviceMajor = major(info.st_rdev);
    if (deviceMajor >= kFirstPtySlaveMajor && deviceMajor <= kLastPtySlaveMajor)
        return true;
    const std::string subsystem = SysfsRoot() + "/dev/char/" + std::to_string(deviceMajor) + ":" +
                                  std::to_string(minor(info.st_rdev)) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t length = readlink(subsystem.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return false;
    const std::string link(target, static_cast<std::size_t>(length));
    return link.size() >= 4 && link.compare(link.size() - 4, 4, "/tty") == 0;
}

}  // namespace

int OpenTtyExclusive(const std::string& path, OpenOutcome* why) {
    OpenOutcome failure = OpenFailure(OpenStep::kDevice, ENOENT, path);
    auto fail = [&](OpenStep step, int error) {
        failure.step = step;
        failure.error = error;
        ExplainDeviceFailure(failure);
        if (why)
            *why = failure;
        return -1;
    };
    if (path.empty())
        return fail(OpenStep::kDevice, ENOENT);
    // Looked at before it is opened: opening some devices acts at once (a tape rewinds, a
    // watchdog starts), so only a terminal is opened at all. The look and the open go
    // through one handle, so the path cannot be switched to another file in between.
    const int handle = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (handle < 0)
        return fail(OpenStep::kDevice, errno);
    struct stat info {};
    if (fstat(handle, &info) != 0 || !IsTerminalDevice(info)) {
        close(handle);
        return fail(OpenStep::kTerminal, ENOTTY);
    }
    // A program that keeps to UUCP lock files only (a terminal program, a modem dialler)
    // takes no flock; its lock file says the port is its.
    const DeviceHolder locked = LockFileHolder(path);
    if (locked.pid != 0 && !locked.thisProcess) {
        close(handle);
        return fail(OpenStep::kClaim, EBUSY);
    }
    const std::string reopen = "/proc/self/fd/" + std::to_string(handle);
    const int fd = open(reopen.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int openError = errno;
    close(handle);
    // TIOCEXCL of another open refuses this one with EBUSY.
    if (fd < 0)
        return fail(openError == EBUSY ? OpenStep::kClaim : OpenStep::kDevice, openError);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return fail(OpenStep::kClaim, EBUSY);
    }
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
