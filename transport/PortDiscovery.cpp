#include "transport/PortDiscovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "transport/Conversions.h"
#include "transport/SerialPortNames.h"
#include "transport/platform/DeviceRoots.h"
#include "transport/platform/SysfsTree.h"

namespace quillon {

namespace fs = std::filesystem;

namespace {

constexpr int kParallelPorts = 20;
constexpr const char* kUsbFilter = "usb";

// A number too large for an int counts as no number, as atoi's 0 would.
int NumberFromFourthCharacter(const std::string& name) {
    int number = 0;
    if (name.size() > 3)
        ReadLeadingInt(std::string_view(name).substr(3), &number);
    return number;
}

// The USB device a printer interface belongs to is the folder above the interface.
std::pair<std::string, std::string> UsbIds(const fs::path& interfaceFolder) {
    const fs::path device = interfaceFolder.parent_path();
    return {ReadSysfsAttribute((device / "idVendor").string()),
            ReadSysfsAttribute((device / "idProduct").string())};
}

// Sorts by the number from the fourth character of each name on; entries with equal
// numbers keep their order. Each number is read once, so a long list sorts in n log n.
template <typename T, typename NameOf>
void SortByNumber(std::vector<T>& entries, NameOf nameOf) {
    std::vector<std::pair<int, std::size_t>> keys;
    keys.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        keys.emplace_back(NumberFromFourthCharacter(nameOf(entries[i])), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<T> sorted;
    sorted.reserve(entries.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(entries[key.second]));
    entries = std::move(sorted);
}

}  // namespace

void SortPortNamesByNumber(std::vector<std::string>& names) {
    SortByNumber(names, [](const std::string& name) -> const std::string& { return name; });
}

std::vector<SerialPortInfo> ListSerialPorts() {
    std::vector<SerialPortInfo> ports = FindSerialPorts();
    SortByNumber(ports, [](const SerialPortInfo& port) -> const std::string& { return port.name; });
    return ports;
}

void EnumSerialPorts(std::vector<std::string>& list) {
    for (const SerialPortInfo& port : ListSerialPorts())
        list.push_back(port.name);
}

std::vector<ParallelPortInfo> ListParallelPorts() {
    std::vector<ParallelPortInfo> ports;
    for (int i = 1; i <= kParallelPorts; ++i) {
        const std::string node = DevicePath("lp" + std::to_string(i - 1));
        // As the parallel open does it; the lp driver refuses a port someone else holds.
        const int fd = open(node.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        close(fd);
        ports.push_back({"LPT" + std::to_string(i), node});
    }
    return ports;
}

void EnumParallelPorts(std::vector<std::string>& list) {
    for (const ParallelPortInfo& port : ListParallelPorts())
        list.push_back(port.name);
}

std::vector<UsbPrinterInfo> FindUsbPrinters() {
    std::vector<UsbPrinterInfo> printers;
    const std::string classRoot = SysfsRoot() + "/class/usbmisc";
    for (const std::string& name : ListSysfsFolder(classRoot)) {
        // usbmisc also holds other USB character devices; printers are lp<N>.
        if (name.rfind("lp", 0) != 0)
            continue;
        const std::string folder = classRoot + "/" + name;
        std::error_code error;
        const fs::path interfaceFolder = fs::canonical(folder + "/device", error);
        if (error)
            continue;
        std::string devName = ReadUeventValue(folder + "/uevent", "DEVNAME");
        if (devName.empty())
            devName = "usb/" + name;
        UsbPrinterInfo printer;
        printer.node = "/dev/" + devName;
        std::tie(printer.vendorId, printer.productId) = UsbIds(interfaceFolder);
        // The node, then the identity of the device in the form the write-only check reads.
        printer.path = printer.node + "#usb#vid_" + printer.vendorId + "&pid_" + printer.productId +
                       "#" + interfaceFolder.filename().string();
        if (printer.path.find(kUsbFilter) == std::string::npos)
            continue;
        printers.push_back(std::move(printer));
    }
    return printers;
}

void EnumUsbPrinters(std::vector<std::string>& list) {
    for (const UsbPrinterInfo& printer : FindUsbPrinters())
        list.push_back(printer.path);
}

}  // namespace quillon
