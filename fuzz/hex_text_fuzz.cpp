// Typed hexadecimal text: the conversion never writes past the area it was promised, and
// what it converts reads back the same when written out as pairs again.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "transport/Conversions.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Exactly the promised size, on the heap: AddressSanitizer sees any byte beyond it.
    std::vector<std::uint8_t> bytes((size + 1) / 2);
    const int count = HexTextToBytes(text, bytes.data());
    if (count < -1 || count > static_cast<int>(bytes.size()))
        std::abort();
    if (count <= 0)
        return 0;
    std::string pairs;
    for (int i = 0; i < count; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", bytes[static_cast<std::size_t>(i)]);
        pairs += pair;
    }
    std::vector<std::uint8_t> again((pairs.size() + 1) / 2);
    if (HexTextToBytes(pairs, again.data()) != count ||
        !std::equal(bytes.begin(), bytes.begin() + count, again.begin()))
        std::abort();
    return 0;
}
