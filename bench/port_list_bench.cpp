// Figures for the serial port list: how long listing takes with port maps of growing size
// (a fake, empty device tree, so only the map counts), and one lookup of a port's device.
// Prints figures only; it judges nothing.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "transport/PortDiscovery.h"
#include "transport/SerialPortNames.h"

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Lines in descending number order (the worst case for a sort); every tenth line names the
// number of the line before it again, so that it replaces that entry.
void WriteMap(const std::string& file, int lines) {
    std::ofstream out(file);
    for (int k = 0; k < lines; ++k) {
        const bool replaces = k % 10 == 9;
        const int number = lines - k + (replaces ? 1 : 0);
        out << "COM" << number << (replaces ? "=/tmp/replaced" : "=/tmp/printer") << number << "\n";
    }
}

}  // namespace

int main() {
    char pattern[] = "/tmp/quillon-port-list-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    fs::create_directories(root + "/sys");
    fs::create_directories(root + "/dev");
    setenv("QUILLON_SYSFS_ROOT", (root + "/sys").c_str(), 1);
    setenv("QUILLON_DEV_ROOT", (root + "/dev").c_str(), 1);
    const std::string map = root + "/ports";
    setenv("QUILLON_PORT_MAP", map.c_str(), 1);

    std::printf("%8s %10s %14s %16s\n", "lines", "ports", "list (ms)", "lookup (ms)");
    for (int lines : {1000, 5000, 20000}) {
        WriteMap(map, lines);
        auto start = Clock::now();
        std::vector<std::string> names;
        EnumSerialPorts(names);
        const double listMs = MillisecondsSince(start);
        start = Clock::now();
        const std::string device = SerialDeviceForPort(lines / 2);
        const double lookupMs = MillisecondsSince(start);
        std::printf("%8d %10zu %14.1f %16.1f\n", lines, names.size(), listMs, lookupMs);
        if (device.empty())
            std::printf("  COM%d was not found\n", lines / 2);
    }
    fs::remove_all(root);
    return 0;
}
