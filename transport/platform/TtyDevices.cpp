#include "transport/platform/TtyDevices.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>

#include "transport/platform/DeviceRoots.h"
#include "transport/platform/SysfsTree.h"

namespace quillon {

namespace {

bool IsBuiltInSerialName(const std::string& name) {
    if (name.rfind("ttyS", 0) != 0 || name.size() == 4)
        return false;
    for (std::size_t i = 4; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

// The 8250 driver registers every ttyS slot it was built for, with or without a chip.
bool HasRealUart(const std::string& classFolder, const std::string& node) {
    const std::string type = ReadSysfsAttribute(classFolder + "/type");
    if (!type.empty())
        return type != "0";
    const int fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool real = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    close(fd);
    return real;
}

}  // namespace

std::vector<HardwareTty> ListHardwareTtys() {
    std::vector<HardwareTty> ttys;
    const std::string classRoot = SysfsRoot() + "/class/tty";
    for (const std::string& name : ListSysfsFolder(classRoot)) {
        const std::string folder = classRoot + "/" + name;
        // Virtual consoles, ptmx and the like have no device behind them.
        if (!SysfsEntryExists(folder + "/device"))
            continue;
        std::string devName = ReadUeventValue(folder + "/uevent", "DEVNAME");
        if (devName.empty())
            devName = name;
        const std::string node = DevicePath(devName);
        if (IsBuiltInSerialName(name) && !HasRealUart(folder, node))
            continue;
        ttys.push_back({name, node});
    }
    return ttys;
}

}  // namespace quillon
