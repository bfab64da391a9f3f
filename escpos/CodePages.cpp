#include "escpos/CodePages.h"

#include <iconv.h>

#include <map>
#include <mutex>
#include <optional>
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
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
        return kReplacement;
    // CP1255 and CP1258 hold a letter back for the marks that may follow it: flush it out.
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    if (outLeft == sizeof out)
        return kReplacement;
    return out[0];
}

// The page's table, or nothing when this system's iconv does not know the page.
std::optional<CodePageTable> BuildTable(const char* name) {
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    // The lower half is ASCII but on a few pages (CP864's Arabic percent sign); a byte iconv
    // does not map there stays ASCII.
    CodePageTable table{};
    for (int b = 0; b < 256; ++b) {
        const uint8_t byte = static_cast<uint8_t>(b);
        table[b] = ConvertOne(cd, &byte, 1);
        if (table[b] == kReplacement && b < 0x80)
            table[b] = static_cast<char32_t>(b);
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
    // The ESC t numbers of the common printer profile that client libraries choose pages by,
    // with the name iconv knows each page by. The profile's pages iconv has no table for
    // (12 = CP853, 30 and 31 = TCVN-3, 32 = CP720, 41 = CP1098) and the makers' own numbers
    // are left out, so that the printer notes them instead of printing in another page.
    static const std::map<int, const char*> names = {
        {0, "IBM437"},  {1, "CP932"},       {2, "IBM850"},       {3, "IBM860"},  {4, "IBM863"},
        {5, "IBM865"},  {11, "CP851"},      {13, "IBM857"},      {14, "CP737"},  {15, "ISO_8859-7"},
        {16, "CP1252"}, {17, "CP866"},      {18, "IBM852"},      {19, "IBM858"}, {21, "CP874"},
        {33, "CP775"},  {34, "IBM855"},     {35, "IBM861"},      {36, "IBM862"}, {37, "IBM864"},
        {38, "IBM869"}, {39, "ISO_8859-2"}, {40, "ISO_8859-15"}, {42, "CP774"},  {43, "CP772"},
        {44, "CP1125"}, {45, "CP1250"},     {46, "CP1251"},      {47, "CP1253"}, {48, "CP1254"},
        {49, "CP1255"}, {50, "CP1256"},     {51, "CP1257"},      {52, "CP1258"}, {53, "RK1048"},
    };
    // Each page's table is made the first time it is chosen.
    static std::mutex lock;
    static std::map<int, std::optional<CodePageTable>> tables;
    const auto name = names.find(number);
    if (name == names.end())
        return nullptr;
    std::lock_guard<std::mutex> hold(lock);
    auto table = tables.find(number);
    if (table == tables.end())
        table = tables.emplace(number, BuildTable(name->second)).first;
    return table->second ? &*table->second : nullptr;
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
