#include "escpos/CodePages.h"

#include <iconv.h>

#include <map>
#include <mutex>
#include <vector>

namespace quillon::escpos {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Converts one character with an open descriptor; kReplacement when it cannot.
char32_t ConvertOne(iconv_t cd, const uint8_t* bytes, size_t length) {
    char in[4];
    for (size_t i = 0; i < length && i < sizeof in; ++i)
        in[i] = static_cast<char>(bytes[i]);
    char32_t out[2] = {kReplacement, 0};
    char* inPtr = in;
    size_t inLeft = length;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
        outLeft == sizeof out)
        return kReplacement;
    return out[0];
}

CodePageTable BuildTable(const char* name) {
    CodePageTable table{};
    for (int b = 0; b < 256; ++b)
        table[b] = b < 0x80 ? static_cast<char32_t>(b) : kReplacement;
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return table;
    for (int b = 0x80; b < 256; ++b) {
        const uint8_t byte = static_cast<uint8_t>(b);
        table[b] = ConvertOne(cd, &byte, 1);
    }
    iconv_close(cd);
    return table;
}

// The two-byte part of GB18030 (lead 0x81-0xFE, trail 0x40-0xFE), built on first use.
const std::vector<char32_t>& TwoByteTable() {
    static const std::vector<char32_t> table = [] {
        std::vector<char32_t> t(126 * 191, kReplacement);
        iconv_t cd = iconv_open("UTF-32LE", "GB18030");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return t;
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const uint8_t pair[2] = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
                t[(lead - 0x81) * 191 + (trail - 0x40)] = ConvertOne(cd, pair, 2);
            }
        iconv_close(cd);
        return t;
    }();
    return table;
}

}  // namespace

const CodePageTable* CodePageFor(int number) {
    static const std::map<int, CodePageTable> pages = {
        {0, BuildTable("IBM437")}, {2, BuildTable("IBM850")},  {16, BuildTable("CP1252")},
        {17, BuildTable("CP866")}, {19, BuildTable("IBM858")},
    };
    const auto found = pages.find(number);
    return found == pages.end() ? nullptr : &found->second;
}

int Gb18030Length(uint8_t lead, uint8_t second) {
    if (lead < 0x81 || lead > 0xFE)
        return 1;
    if (second >= 0x40 && second <= 0xFE && second != 0x7F)
        return 2;
    if (second >= 0x30 && second <= 0x39)
        return 4;
    return 0;
}

char32_t DecodeGb18030(const uint8_t* bytes, size_t length) {
    if (length == 1)
        return bytes[0] < 0x80 ? bytes[0] : kReplacement;
    if (length == 2) {
        if (Gb18030Length(bytes[0], bytes[1]) != 2)
            return kReplacement;
        return TwoByteTable()[(bytes[0] - 0x81) * 191 + (bytes[1] - 0x40)];
    }
    if (length != 4)
        return kReplacement;
    static std::mutex lock;
    static iconv_t cd = iconv_open("UTF-32LE", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return kReplacement;
    std::lock_guard<std::mutex> hold(lock);
    return ConvertOne(cd, bytes, length);
}

}  // namespace quillon::escpos
