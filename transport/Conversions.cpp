#include "transport/Conversions.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "transport/TextFile.h"

namespace quillon {

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\r' || c == '\n';
}

// The next comma-separated field of `rest`; without a comma the field is empty and
// `rest` stays whole, so the last number of a short text ends up in the flow choice.
std::string TakeField(std::string_view& rest) {
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos)
        return {};
    std::string field(rest.substr(0, comma));
    rest.remove_prefix(comma + 1);
    return field;
}

}  // namespace

int HexTextToBytes(std::string_view text, std::uint8_t* out) {
    int count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        // A digit at the end or before a blank stands for a byte of its own.
        if (i + 1 == text.size() || text[i + 1] == ' ') {
            const int value = HexDigitValue(text[i]);
            if (value < 0)
                return -1;
            out[count++] = static_cast<std::uint8_t>(value);
            i += 2;
            continue;
        }
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return -1;
        out[count++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return count;
}

void ParseSerialSettings(std::string_view text, int* baudRate, char* parity, int* dataBits,
                         int* stopBits, int* flowChoice) {
    std::string_view rest = text;
    *baudRate = std::atoi(TakeField(rest).c_str());
    const std::string parityField = TakeField(rest);
    *parity = parityField.empty() ? '\0' : parityField.front();
    *dataBits = std::atoi(TakeField(rest).c_str());
    *stopBits = std::atoi(TakeField(rest).c_str());
    *flowChoice = std::atoi(std::string(rest).c_str());
}

int AppendToDailyFile(std::string_view text) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[32];
    std::strftime(name, sizeof name, "%Y-%m-%d.txt", &local);
    std::FILE* file = std::fopen(name, "ab");
    if (!file)
        return 0;
    const bool written = WriteWithCrLf(file, text);
    return (std::fclose(file) == 0 && written) ? 1 : 0;
}

}  // namespace quillon
