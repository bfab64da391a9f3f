#pragma once
// The canned commands every side sends: the cut and the drawer kick as hexadecimal text, which
// the senders convert as they convert typed hex, and the Chinese character mode switches.

#include <cstdint>

namespace quillon::escpos {

// GS V 66 0: feed to the cutting position and cut partially.
inline constexpr char kCutPaperHex[] = "1D 56 42 00";
// ESC p 0 50 50 and ESC p 1 50 50: a 100 ms kick on drawer pin 2, then on pin 5; a NUL after.
inline constexpr char kOpenCashDrawerHex[] = "1B 70 00 32 32 1B 70 01 32 32 00";

// FS & and FS .: the printer's Chinese character mode on before a text, off after it.
inline constexpr std::uint8_t kChineseModeOn[] = {0x1C, 0x26};
inline constexpr std::uint8_t kChineseModeOff[] = {0x1C, 0x2E};

}  // namespace quillon::escpos
