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
    // kNeedMore inside a run of blocks, each with a header that says how long it is (ESC &,
    // FS q): the next header starts at `from` and ends at `value`, and `blocksLeft` blocks
    // start there. What comes before `from` is measured.
    uint64_t from = 0;
    uint64_t blocksLeft = 0;
};

// Measures the command whose first `have` bytes are at `cmd` (have >= 2; cmd[0] is a prefix).
// The answer never asks for fewer bytes than `have`, except kUnknown.
Measure MeasureCommand(const uint8_t* cmd, size_t have);
// Goes on where a run of blocks stopped (`at`, a kNeedMore with blocksLeft > 0), from the
// next block's header alone: for a command too long to keep whole. `cmd` holds the command's
// bytes up to its first block.
Measure MeasureNextBlock(const uint8_t* cmd, const Measure& at, const uint8_t* header);

}  // namespace quillon::escpos
