#include "escpos/CommandTable.h"

#include <array>

namespace quillon::escpos {
namespace {

enum class Rule : uint8_t {
    kNone,
    kFixed,          // length in the table
    kParen,          // X ( fn pL pH ...: 5 + p
    kGraphics8,      // GS 8 L p1 p2 p3 p4 ...: 7 + p
    kRaster,         // GS v 0 m xL xH yL yH: 8 + x * y
    kColumnImage,    // ESC * m nL nH: 5 + n (or 3n for 24-dot modes)
    kBarcode,        // GS k m: NUL-terminated (m <= 6) or n-prefixed
    kCut,            // GS V m [n]
    kDleEot,         // DLE EOT n [a]
    kDleDc4,         // DLE DC4 fn ...
    kNulEnded,       // ESC D n1 ... NUL
    kUserChars,      // ESC & y c1 c2 [x d1 ... d(y*x)] for each character
    kDownloadImage,  // GS * x y d1 ... d(x*y*8)
    kNvImages,       // FS q n [xL xH yL yH d1 ... dk] for each image
};

struct Entry {
    Rule rule = Rule::kNone;
    uint8_t length = 0;
};

using Table = std::array<std::array<Entry, 256>, 4>;

int PrefixIndex(uint8_t prefix) {
    switch (prefix) {
        case kEsc:
            return 0;
        case kGs:
            return 1;
        case kFs:
            return 2;
        default:
            return 3;
    }
}

Table BuildTable() {
    Table t{};
    auto fixed = [&](uint8_t prefix, char code, uint8_t length) {
        t[PrefixIndex(prefix)][static_cast<uint8_t>(code)] = {Rule::kFixed, length};
    };
    auto rule = [&](uint8_t prefix, char code, Rule r) {
        t[PrefixIndex(prefix)][static_cast<uint8_t>(code)] = {r, 0};
    };
    // ESC
    for (char c : {' ', '!', '%', '-', '3', '=', '?', 'E', 'G', 'J', 'K', 'M',
                   'R', 'T', 'U', 'V', 'a', 'd', 'e', 'r', 't', 'u', '{'})
        fixed(kEsc, c, 3);
    for (char c : {'2', '@', 'L', 'S', 'i', 'm', 'v', '<'})
        fixed(kEsc, c, 2);
    fixed(kEsc, '$', 4);
    fixed(kEsc, '\\', 4);
    fixed(kEsc, 'c', 4);
    fixed(kEsc, 'B', 4);
    fixed(kEsc, 'p', 5);
    fixed(kEsc, 'W', 10);
    rule(kEsc, '(', Rule::kParen);
    rule(kEsc, '*', Rule::kColumnImage);
    rule(kEsc, 'D', Rule::kNulEnded);
    rule(kEsc, '&', Rule::kUserChars);
    // GS
    for (char c : {'!', '/', 'B', 'E', 'H', 'I', 'T', 'a', 'b', 'f', 'h', 'j', 'r', 'w'})
        fixed(kGs, c, 3);
    for (char c : {'$', 'L', 'P', 'W', '\\'})
        fixed(kGs, c, 4);
    fixed(kGs, ':', 2);
    fixed(kGs, 'c', 2);
    fixed(kGs, '^', 5);
    rule(kGs, '(', Rule::kParen);
    rule(kGs, '8', Rule::kGraphics8);
    rule(kGs, 'v', Rule::kRaster);
    rule(kGs, 'k', Rule::kBarcode);
    rule(kGs, 'V', Rule::kCut);
    rule(kGs, '*', Rule::kDownloadImage);
    // FS
    for (char c : {'!', '-', 'C', 'W'})
        fixed(kFs, c, 3);
    fixed(kFs, '&', 2);
    fixed(kFs, '.', 2);
    fixed(kFs, 'S', 4);
    fixed(kFs, 'p', 4);
    fixed(kFs, '?', 4);
    fixed(kFs, '2', 75);
    rule(kFs, '(', Rule::kParen);
    rule(kFs, 'q', Rule::kNvImages);
    // DLE
    fixed(kDle, 0x05, 3);
    rule(kDle, 0x04, Rule::kDleEot);
    rule(kDle, 0x14, Rule::kDleDc4);
    return t;
}

const Table& CommandRules() {
    static const Table table = BuildTable();
    return table;
}

Measure Need(uint64_t count) {
    return {Measure::kNeedMore, count};
}
Measure Length(uint64_t count) {
    return {Measure::kLength, count};
}

uint64_t Word(const uint8_t* p) {
    return p[0] | (uint64_t{p[1]} << 8);
}

// A run of blocks, each with a small header that says how long its data is.
struct Blocks {
    uint64_t first;  // where the first block starts
    uint64_t count;
    size_t headerSize;
    uint64_t (*length)(const uint8_t* cmd, const uint8_t* header);
};

// ESC & y c1 c2 [x d1 ... d(y*x)]: y rows of bytes per column, x columns.
uint64_t UserCharLength(const uint8_t* cmd, const uint8_t* header) {
    return uint64_t{cmd[2]} * header[0];
}

// FS q n [xL xH yL yH d1 ... d(x*y*8)].
uint64_t NvImageLength(const uint8_t*, const uint8_t* header) {
    return Word(header) * Word(header + 2) * 8;
}

// The blocks of ESC & (its first five bytes at cmd) or FS q (its first three).
Blocks BlocksOf(const uint8_t* cmd) {
    if (cmd[0] == kFs)
        return {3, cmd[2], 4, NvImageLength};
    return {5, cmd[4] >= cmd[3] ? cmd[4] - cmd[3] + 1u : 0u, 1, UserCharLength};
}

// Walks the blocks as far as the `have` bytes at cmd hold their headers.
Measure MeasureBlocks(const uint8_t* cmd, size_t have) {
    const Blocks blocks = BlocksOf(cmd);
    uint64_t at = blocks.first;
    for (uint64_t left = blocks.count; left > 0; --left) {
        if (have < at + blocks.headerSize)
            return {Measure::kNeedMore, at + blocks.headerSize, at, left};
        at += blocks.headerSize + blocks.length(cmd, cmd + at);
    }
    return Length(at);
}

}  // namespace

Measure MeasureCommand(const uint8_t* cmd, size_t have) {
    const Entry entry = CommandRules()[PrefixIndex(cmd[0])][cmd[1]];
    const Measure unknown{Measure::kUnknown, cmd[0] == kDle ? 1u : 2u};
    switch (entry.rule) {
        case Rule::kNone:
            return unknown;
        case Rule::kFixed:
            return Length(entry.length);
        case Rule::kParen:
            return have < 5 ? Need(5) : Length(5 + Word(cmd + 3));
        case Rule::kGraphics8:
            if (have < 3)
                return Need(3);
            if (cmd[2] != 'L')
                return unknown;
            if (have < 7)
                return Need(7);
            return Length(7 + (Word(cmd + 3) | (Word(cmd + 5) << 16)));
        case Rule::kRaster:
            if (have < 3)
                return Need(3);
            if (cmd[2] != '0')
                return unknown;
            return have < 8 ? Need(8) : Length(8 + Word(cmd + 4) * Word(cmd + 6));
        case Rule::kColumnImage:
            if (have < 5)
                return Need(5);
            return Length(5 + Word(cmd + 3) * (cmd[2] >= 32 ? 3 : 1));
        case Rule::kBarcode:
            if (have < 3)
                return Need(3);
            if (cmd[2] <= 6) {
                // The data ends with NUL; a stream that never sends one ends it at 255 bytes.
                for (size_t i = 3; i < have; ++i)
                    if (cmd[i] == 0)
                        return Length(i + 1);
                return have >= 3 + 255 ? Length(have) : Need(have + 1);
            }
            return have < 4 ? Need(4) : Length(4 + cmd[3]);
        case Rule::kCut:
            if (have < 3)
                return Need(3);
            switch (cmd[2]) {
                case 65:
                case 66:
                case 97:
                case 98:
                case 103:
                case 104:
                    return Length(4);
                default:
                    return Length(3);
            }
        case Rule::kDleEot:
            if (have < 3)
                return Need(3);
            return Length(cmd[2] == 7 || cmd[2] == 8 ? 4 : 3);
        case Rule::kDleDc4:
            if (have < 3)
                return Need(3);
            switch (cmd[2]) {
                case 1:
                case 2:
                case 3:
                    return Length(5);
                case 7:
                    return Length(4);
                case 8:
                    return Length(10);
                default:
                    return Length(3);
            }
        case Rule::kNulEnded:
            for (size_t i = 2; i < have; ++i)
                if (cmd[i] == 0)
                    return Length(i + 1);
            return have >= 2 + 33 ? Length(have) : Need(have + 1);
        case Rule::kUserChars:
            return have < 5 ? Need(5) : MeasureBlocks(cmd, have);
        case Rule::kDownloadImage:
            return have < 4 ? Need(4) : Length(4 + uint64_t{cmd[2]} * cmd[3] * 8);
        case Rule::kNvImages:
            return have < 3 ? Need(3) : MeasureBlocks(cmd, have);
    }
    return unknown;
}

Measure MeasureNextBlock(const uint8_t* cmd, const Measure& at, const uint8_t* header) {
    const Blocks blocks = BlocksOf(cmd);
    const uint64_t next = at.from + blocks.headerSize + blocks.length(cmd, header);
    if (at.blocksLeft <= 1)
        return Length(next);
    return {Measure::kNeedMore, next + blocks.headerSize, next, at.blocksLeft - 1};
}

}  // namespace quillon::escpos
