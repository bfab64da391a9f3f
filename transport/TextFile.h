#pragma once
// Text files with the bytes the Windows program wrote: every line feed goes out as
// carriage return and line feed.

#include <cstdio>
#include <string>
#include <string_view>

namespace quillon {

// Writes text to an open file, each '\n' as "\r\n". Returns false when a write failed.
bool WriteWithCrLf(std::FILE* file, std::string_view text);

}  // namespace quillon
