// Serial settings text: every number field reads as the C library's strtoll reads it when
// it fits an int, and as 0 with a failed parse when it does not, never wrapped round.

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "transport/Conversions.h"

using namespace quillon;

namespace {

// The field up to the next comma of `rest`; without a comma the field is empty and `rest`
// stays whole, so the last number of a short text is the flow choice.
std::string NextField(std::string_view& rest) {
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos)
        return {};
    std::string field(rest.substr(0, comma));
    rest.remove_prefix(comma + 1);
    return field;
}

// What the field should read as; false when it does not fit.
bool Expected(const std::string& field, int* value) {
    errno = 0;
    const long long wide = std::strtoll(field.c_str(), nullptr, 10);
    const bool fits = errno != ERANGE && wide >= INT_MIN && wide <= INT_MAX;
    *value = fits ? static_cast<int>(wide) : 0;
    return fits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int baud = -1, dataBits = -1, stopBits = -1, flow = -1;
    char parity = '?';
    const int result = ParseSerialSettings(text, &baud, &parity, &dataBits, &stopBits, &flow);

    std::string_view rest = text;
    int expected[4];
    bool fits = Expected(NextField(rest), &expected[0]);
    const std::string parityField = NextField(rest);
    fits = Expected(NextField(rest), &expected[1]) && fits;
    fits = Expected(NextField(rest), &expected[2]) && fits;
    fits = Expected(std::string(rest), &expected[3]) && fits;
    const char expectedParity = parityField.empty() ? '\0' : parityField.front();

    if (result != (fits ? 1 : 0) || baud != expected[0] || dataBits != expected[1] ||
        stopBits != expected[2] || flow != expected[3] || parity != expectedParity)
        std::abort();
    return 0;
}
