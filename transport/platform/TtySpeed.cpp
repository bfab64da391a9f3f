#include "transport/platform/TtySpeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

// <sys/ioctl.h> would bring in the glibc termios structures that clash with termios2.

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace quillon {

bool SetTtyOtherSpeed(int fd, int baudRate) {
    if (baudRate <= 0)
        return false;
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(baudRate);
    t.c_ospeed = static_cast<speed_t>(baudRate);
    return ioctl(fd, TCSETS2, &t) == 0;
}

int TtyOutputSpeed(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return -1;
    return static_cast<int>(t.c_ospeed);
}

}  // namespace quillon
