#pragma once
// The printer's character sets: single-byte code pages chosen with ESC t, and GB18030 for
// Chinese mode. Bytes become Unicode code points; the tables come from the C library's iconv.

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon::escpos {

using CodePageTable = std::array<char32_t, 256>;

// The table for an ESC t number of the common printer profile (0 = 437, 2 = 850, 16 = 1252,
// 17 = 866, 19 = 858, 46 = 1251, ...), or null when the printer has no such page. Bytes a page
// leaves undefined (and the lead bytes of CP932's two-byte characters) read as U+FFFD. The
// table stays valid for the life of the process.
const CodePageTable* CodePageFor(int number);

// How many bytes the GB18030 character starting with `lead` and `second` takes: 1, 2 or 4,
// or 0 when `second` cannot follow `lead`.
int Gb18030Length(uint8_t lead, uint8_t second);

// The code point of a whole GB18030 character (1, 2 or 4 bytes); U+FFFD when it has none.
char32_t DecodeGb18030(const uint8_t* bytes, size_t length);

}  // namespace quillon::escpos
