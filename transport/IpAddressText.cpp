#include "transport/IpAddressText.h"

#include <cstdio>

namespace quillon {

std::string FormatIpAddress(int field0, int field1, int field2, int field3) {
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", field0, field1, field2, field3);
    return text;
}

}  // namespace quillon
