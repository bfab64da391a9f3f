#pragma once
// Text files with CR LF line ends: every line feed goes out as carriage return and line feed.

#include <string>
#include <string_view>

namespace quillon {

// The text with each '\n' turned into "\r\n".
std::string WithCrLf(std::string_view text);

}  // namespace quillon
