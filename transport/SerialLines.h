#pragma once
// Line events a serial open can ask for, and the modem status the owner window reads.

#include <cstdint>

namespace quillon {

// Line-event mask bits of OpenSerial; the main window passes all four (0x39).
constexpr std::uint32_t EV_RXCHAR = 0x0001;  // a byte was received
constexpr std::uint32_t EV_CTS = 0x0008;     // CTS changed
constexpr std::uint32_t EV_DSR = 0x0010;     // DSR changed
constexpr std::uint32_t EV_RLSD = 0x0020;    // carrier detect (DCD) changed

// Bits of the modem status word.
constexpr std::uint32_t MS_CTS_ON = 0x0010;
constexpr std::uint32_t MS_DSR_ON = 0x0020;
constexpr std::uint32_t MS_RING_ON = 0x0040;
constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// Reads the modem input lines of an open serial port (GetSerialHandle) into *status.
// Returns 1, or 0 when the handle is not open or the device has no modem lines (a
// pseudo-terminal); *status is 0 then.
int GetCommModemStatus(int serialHandle, std::uint32_t* status);

}  // namespace quillon
