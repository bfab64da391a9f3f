#pragma once
// Text files in this program's formats, whose lines end in carriage return and line feed:
// every line feed goes out as both.

#include <string>
#include <string_view>

namespace quillon {

// The text with each '\n' turned into "\r\n".
std::string WithCrLf(std::string_view text);

}  // namespace quillon
