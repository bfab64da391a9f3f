#pragma once
// How long each printer command is. A command starts with one of the prefix bytes (ESC, GS,
// FS, DLE); its length may depend on parameters that follow, so it is measured step by step.

#include <cstddef>
#include <cstdint>

namespace quillon::escpos {

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kFs = 0x1C;
inline constexpr uint8_t kGs = 0x1D;

inline bool IsCommandPrefix(uint8_t b) {
    return b == kEsc || b == kGs || b == kFs || b == kDle;
}

struct Measure {
    enum Kind {
        kNeedMore,  // `value`: how many bytes must be at hand before measuring again
        kLength,    // `value`: the whole command's length, prefix included
        kUnknown,   // no such command; `value`: how many bytes to skip as its marker
    };
    Kind kind;
    uint64_t value;
};

// Measures the command whose first `have` bytes are at `cmd` (have >= 2; cmd[0] is a prefix).
// The answer never asks for fewer bytes than `have`, except kUnknown.
Measure MeasureCommand(const uint8_t* cmd, size_t have);

}  // namespace quillon::escpos
