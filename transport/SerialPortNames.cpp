#include "transport/SerialPortNames.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <unordered_map>

#include "transport/Conversions.h"
#include "transport/DiagnosticLog.h"
#include "transport/PortMapFile.h"
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

// Says once on stderr, and in the developer log, why the map is not read; again only after
// the reason has changed or the map has been read. An empty problem: it was read.
void ReportMapProblem(const std::string& path, const std::string& problem) {
    static std::mutex lock;
    static std::string last;
    const std::string message =
        problem.empty() ? "" : "the port map " + path + " is ignored: " + problem;
    std::lock_guard<std::mutex> hold(lock);
    if (message == last)
        return;
    last = message;
    if (message.empty())
        return;
    std::fprintf(stderr, "quillon: %s\n", message.c_str());
    LogWriteFormat("ReadPortMap", kLogFileName, "SerialPortNames", __LINE__, "%s", message.c_str());
}

// The map's entries in the order of its lines; the lines of printers that have ended are
// left out, so that a terminal another program now holds is never offered.
std::vector<SerialPortInfo> ReadPortMap() {
    std::vector<SerialPortInfo> entries;
    const std::string path = PortMapPath();
    std::string text, problem;
    const bool read = ReadPortMapFile(path, text, problem);
    ReportMapProblem(path, problem);
    if (!read)
        return entries;
    for (const std::string& line : PortMapLines(text)) {
        const std::optional<PortMapLine> entry = ParsePortMapLine(line);
        if (!entry || OwnerGone(*entry))
            continue;
        // A relative path names a device below the device root.
        const std::string& device = entry->path;
        entries.push_back(MakeInfo(entry->number, device[0] == '/' ? device : DevicePath(device)));
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
