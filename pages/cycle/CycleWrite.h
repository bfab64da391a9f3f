#pragma once
// Writing a whole buffer to a non-blocking serial descriptor or socket, waiting for room in
// between, so that nothing is cut off by a device that takes less than all at once.

#include <cstddef>
#include <cstdint>

namespace quillon {

enum class CycleDevice { kTerminal, kSocket };

// How long a write may go without any byte going out before it gives up.
constexpr int kCycleWriteStallMs = 2000;

// Writes every byte unless the device fails, takes nothing for kCycleWriteStallMs, or
// cancelFd is signalled. Returns how many bytes went out.
std::size_t WriteEveryByte(CycleDevice device, int fd, const std::uint8_t* data, std::size_t length,
                           int cancelFd);

}  // namespace quillon
