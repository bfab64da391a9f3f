#include "transport/SerialPortNames.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>
#include <unordered_map>

#include "transport/Conversions.h"
#include "transport/platform/Blanks.h"
#include "transport/platform/DeviceRoots.h"
#include "transport/platform/Folders.h"
#include "transport/platform/TtyDevices.h"

namespace quillon {

namespace {

constexpr int kFirstOtherPort = 97;  // first number for ttys without a fixed one

// The k of "<prefix><k>", or -1 when the name is not the prefix followed by digits only,
// or when k is too large for its port number (first + k) to fit an int.
int NumberAfter(const std::string& name, const std::string& prefix, int first = 0) {
    if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size())
        return -1;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return -1;
    int k = 0;
    if (!ReadLeadingInt(std::string_view(name).substr(prefix.size()), &k) || k > INT_MAX - first)
        return -1;
    return k;
}

int FixedNumber(const std::string& ttyName) {
    if (const int k = NumberAfter(ttyName, "ttyS", 1); k >= 0)
        return k + 1;
    if (const int k = NumberAfter(ttyName, "ttyUSB", 33); k >= 0)
        return 33 + k;
    if (const int k = NumberAfter(ttyName, "ttyACM", 65); k >= 0)
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
        // A path with a NUL in it cannot be opened as written: the entry is no entry.
        if (path.find('\0') != std::string::npos)
            continue;
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
    return ConfigFolder() + "ports";
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
    // Where each number stands, so a long map merges in linear time.
    std::unordered_map<int, std::size_t> position;
    for (std::size_t i = 0; i < ports.size(); ++i)
        position.emplace(ports[i].number, i);
    for (SerialPortInfo& entry : ReadPortMap()) {
        const auto [at, added] = position.emplace(entry.number, ports.size());
        if (added)
            ports.push_back(std::move(entry));
        else
            ports[at->second].device = std::move(entry.device);
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
