#include "transport/Conversions.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>

#include "transport/TextFile.h"
#include "transport/platform/SafeFiles.h"

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
        // A digit at the end or before a blank stands for a byte of its own, but only on its
        // own: the last digit of "ABC" could as well be the first of a pair, so a run of an
        // odd number of digits is refused rather than guessed at.
        if (i + 1 == text.size() || text[i + 1] == ' ') {
            const int value = HexDigitValue(text[i]);
            if (value < 0 || (i > 0 && HexDigitValue(text[i - 1]) >= 0))
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

bool ReadLeadingInt(std::string_view text, int* value) {
    *value = 0;
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    // Counted towards the negative end, which holds one more than the positive one.
    long long magnitude = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit)
            return false;
    }
    *value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

int ParseSerialSettings(std::string_view text, int* baudRate, char* parity, int* dataBits,
                        int* stopBits, int* flowChoice) {
    std::string_view rest = text;
    bool fits = ReadLeadingInt(TakeField(rest), baudRate);
    const std::string parityField = TakeField(rest);
    *parity = parityField.empty() ? '\0' : parityField.front();
    fits = ReadLeadingInt(TakeField(rest), dataBits) && fits;
    fits = ReadLeadingInt(TakeField(rest), stopBits) && fits;
    fits = ReadLeadingInt(rest, flowChoice) && fits;
    return fits ? 1 : 0;
}

int AppendToDailyFile(std::string_view text, std::string* reason) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[32];
    std::strftime(name, sizeof name, "%Y-%m-%d.txt", &local);
    const int error = AppendToFile(name, WithCrLf(text));
    if (error && reason)
        *reason = std::string(name) + ": " + std::strerror(error);
    return error ? 0 : 1;
}

}  // namespace quillon
