#include "transport/SerialPortNames.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>

#include "transport/TextFile.h"
#include "transport/platform/DeviceRoots.h"
#include "transport/platform/TtyDevices.h"

namespace quillon {

namespace {

constexpr int kFirstOtherPort = 97;  // first number for ttys without a fixed one

// The k of "<prefix><k>", or -1 when the name is not the prefix followed by digits only.
int NumberAfter(const std::string& name, const std::string& prefix) {
    if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size() ||
        name.size() - prefix.size() > 6)
        return -1;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return -1;
    return std::atoi(name.c_str() + prefix.size());
}

int FixedNumber(const std::string& ttyName) {
    if (const int k = NumberAfter(ttyName, "ttyS"); k >= 0)
        return k + 1;
    if (const int k = NumberAfter(ttyName, "ttyUSB"); k >= 0)
        return 33 + k;
    if (const int k = NumberAfter(ttyName, "ttyACM"); k >= 0)
        return 65 + k;
    return -1;
}

SerialPortInfo MakeInfo(int number, const std::string& device) {
    return {number, "COM" + std::to_string(number), device};
}

// "COM<n>=<path>" lines; blank lines and lines starting with '#' are skipped, and so is
// anything else that does not have that form.
std::vector<SerialPortInfo> ReadPortMap() {
    std::vector<SerialPortInfo> entries;
    std::ifstream in(PortMapPath());
    std::string line;
    while (std::getline(in, line)) {
        line = TrimBlanks(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = TrimBlanks(line.substr(0, equals));
        const std::string path = TrimBlanks(line.substr(equals + 1));
        if (key.size() < 4 || !(std::toupper(key[0]) == 'C' && std::toupper(key[1]) == 'O' &&
                                std::toupper(key[2]) == 'M'))
            continue;
        const int number = NumberAfter("COM" + key.substr(3), "COM");
        if (number < 1 || path.empty())
            continue;
        // A relative path names a device below the device root.
        entries.push_back(MakeInfo(number, path[0] == '/' ? path : DevicePath(path)));
    }
    return entries;
}

}  // namespace

std::string PortMapPath() {
    if (const char* file = std::getenv("QUILLON_PORT_MAP"); file && *file)
        return file;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/Quillon/ports";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/Quillon/ports";
}

std::vector<SerialPortInfo> FindSerialPorts() {
    std::vector<SerialPortInfo> ports;
    std::set<int> taken;
    std::vector<HardwareTty> others;
    for (const HardwareTty& tty : ListHardwareTtys()) {
        const int number = FixedNumber(tty.name);
        if (number < 1 || taken.count(number)) {
            others.push_back(tty);
            continue;
        }
        taken.insert(number);
        ports.push_back(MakeInfo(number, tty.node));
    }
    int next = kFirstOtherPort;
    for (const HardwareTty& tty : others) {
        while (taken.count(next))
            ++next;
        taken.insert(next);
        ports.push_back(MakeInfo(next, tty.node));
    }
    for (const SerialPortInfo& entry : ReadPortMap()) {
        bool replaced = false;
        for (SerialPortInfo& port : ports) {
            if (port.number == entry.number) {
                port.device = entry.device;
                replaced = true;
            }
        }
        if (!replaced)
            ports.push_back(entry);
    }
    return ports;
}

std::string SerialDeviceForPort(int number) {
    for (const SerialPortInfo& port : FindSerialPorts())
        if (port.number == number)
            return port.device;
    return {};
}

}  // namespace quillon
