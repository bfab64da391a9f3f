#pragma once
// The conversions the send paths and the serial settings share.

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Converts hexadecimal text ("1B 40", "1b40", "1 2") into bytes. `out` holds at least
// (text.size() + 1) / 2 bytes. Returns the number of bytes stored, or -1 when a character
// that is not a hexadecimal digit stands where a digit is expected, or when a run of digits
// has an odd length above one ("ABC") (callers then use none).
int HexTextToBytes(std::string_view text, std::uint8_t* out);

// Reads "baud,parity,data,stop, flow" field by field. Every output is always written; a
// text with only four fields ("9600,N,8,1") gives stop bits 0 and its fourth field as flow.
// Returns 1, or 0 when a number does not fit an int: that field then reads 0, never some
// other value the number happens to wrap to.
int ParseSerialSettings(std::string_view text, int* baudRate, char* parity, int* dataBits,
                        int* stopBits, int* flowChoice);

// The number at the start of text as atoi reads it (blanks skipped, an optional sign, the
// digits up to the first other character, 0 when there are none). False, with *value 0,
// when the digits do not fit an int.
bool ReadLeadingInt(std::string_view text, int* value);

// Appends text to "YYYY-MM-DD.txt" of today's local date in the current folder, each line
// feed written as carriage return and line feed. Returns 1 when written whole, 0 when it was
// not written at all (the file cannot be opened, a symlink stands at its name, the disk is
// full), with the file's name and the reason in `reason` when one is given.
int AppendToDailyFile(std::string_view text, std::string* reason = nullptr);

}  // namespace quillon
