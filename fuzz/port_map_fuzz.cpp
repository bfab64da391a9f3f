// The port map file: whatever its lines hold, the serial list has one "COM<n>" entry per
// number n >= 1, sorted by n, each with a device path that can be opened as written (no
// NUL), and looking a listed port up gives its device.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "transport/PortDiscovery.h"
#include "transport/SerialPortNames.h"

using namespace quillon;

namespace {

std::string mapFile;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/quillon-port-map-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    const std::string root = pattern;
    // An empty device tree: only the map makes ports.
    std::filesystem::create_directories(root + "/sys");
    std::filesystem::create_directories(root + "/dev");
    setenv("QUILLON_SYSFS_ROOT", (root + "/sys").c_str(), 1);
    setenv("QUILLON_DEV_ROOT", (root + "/dev").c_str(), 1);
    mapFile = root + "/ports";
    setenv("QUILLON_PORT_MAP", mapFile.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(mapFile.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
    const std::vector<SerialPortInfo> ports = ListSerialPorts();
    int previous = 0;
    for (const SerialPortInfo& port : ports) {
        if (port.number <= previous || port.name != "COM" + std::to_string(port.number) ||
            port.device.empty() || port.device.find('\0') != std::string::npos)
            std::abort();
        previous = port.number;
    }
    if (!ports.empty() && SerialDeviceForPort(ports.back().number) != ports.back().device)
        std::abort();
    return 0;
}
