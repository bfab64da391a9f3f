#pragma once
// The lines of a session log, plain text to read with less and search with grep:
//   2026-12-08 10:42:07.123 OPEN COM9 9600,N,8,1, 0 DTR=1 RTS=1
//   2026-12-08 10:42:07.456 TX 4 1D 56 42 00 |.VB.|
//   2026-12-08 10:42:07.789 RX 1 16 |.|
//   2026-12-08 10:42:07.801 STATUS Online · cover closed · paper OK · drawer closed
//   2026-12-08 10:42:09.000 CLOSE
// A block line gives the local time to the millisecond, the direction, the byte count, the
// bytes in hex and as text (printable ASCII as it is, every other byte as '.'). Of a block
// longer than kShownBytes the first kShownBytes are shown and the rest counted.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon {

constexpr std::size_t kShownBytes = 1024;

using LogClock = std::chrono::system_clock;

// "2026-12-08 10:42:07.123", local time.
std::string SessionTimestamp(LogClock::time_point when);

// Appends a block line: shown holds the first bytes of a block of `total` bytes.
void AppendBlockLine(std::string& out, LogClock::time_point when, const char* direction,
                     const std::uint8_t* shown, std::size_t shownCount, std::uint64_t total);
// Appends "<time> <kind> <text>" (or "<time> <kind>" for an empty text); line ends in the
// text become blanks, so that every entry stays one line.
void AppendTextLine(std::string& out, LogClock::time_point when, const char* kind,
                    const std::string& text);

}  // namespace quillon
