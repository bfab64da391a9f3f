#pragma once
// The text of an IPv4 address as the address fields give it.

#include <string>

namespace quillon {

// "%d.%d.%d.%d" of the four fields of an address control.
std::string FormatIpAddress(int field0, int field1, int field2, int field3);

}  // namespace quillon
