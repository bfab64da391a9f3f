#pragma once
// Text files in this program's formats, whose lines end in carriage return and line feed:
// every line feed goes out as both.

#include <cstdio>
#include <string>
#include <string_view>

namespace quillon {

// Writes text to an open file, each '\n' as "\r\n". Returns false when a write failed.
bool WriteWithCrLf(std::FILE* file, std::string_view text);

}  // namespace quillon
