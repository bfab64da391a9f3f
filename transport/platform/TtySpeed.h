#pragma once

// Line speeds that termios has no constant for, through the kernel's termios2 interface.
// Kept apart because <asm/termbits.h> and <termios.h> cannot be included together.

namespace quillon {

// Sets input and output speed of fd to any rate; the driver may round it.
bool SetTtyOtherSpeed(int fd, int baudRate);
// The output speed the driver really uses, in bits per second; -1 when it cannot be read.
int TtyOutputSpeed(int fd);

}  // namespace quillon
