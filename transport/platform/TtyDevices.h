#pragma once
// The terminal devices of the machine that belong to a hardware driver.

#include <string>
#include <vector>

namespace quillon {

struct HardwareTty {
    std::string name;  // as in the device tree: "ttyS0", "ttyUSB0", "ttyAMA0"
    std::string node;  // the device to open, below DevRoot()
};

// Every tty under <sysfs>/class/tty with a driver behind it (a "device" entry), in
// natural name order. ttyS<k> ports count only when they have a real UART: the port's
// "type" attribute (what TIOCGSERIAL reports) is not 0, or, where the tree has no such
// attribute, TIOCGSERIAL on the device says so.
std::vector<HardwareTty> ListHardwareTtys();

}  // namespace quillon
