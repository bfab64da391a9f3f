#pragma once
// Blank trimming for the lines of the small text files the program reads (the port map,
// the device tree's attribute files).

#include <string>
#include <string_view>

namespace quillon {

// The text without blanks, tabs and line ends at either end.
std::string TrimBlanks(std::string_view text);

}  // namespace quillon
