#include "cli/PortTarget.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "transport/PortDiscovery.h"
#include "transport/platform/DeviceRoots.h"

namespace quillon::cli {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

// n of "COM<n>" and the like: digits only after the prefix, at least 1.
int NumberAfter(std::string_view text, std::size_t prefix) {
    const std::string_view digits = text.substr(prefix);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    return std::atoi(std::string(digits).c_str());
}

std::string Canonical(const std::string& path) {
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

bool ResolveNetwork(std::string_view rest, PortTarget& target, std::string& problem) {
    std::string address(rest);
    const std::size_t colon = address.rfind(':');
    if (colon != std::string::npos) {
        const int port = NumberAfter(address, colon + 1);
        if (port < 1 || port > 65535) {
            problem = "the TCP port in \"" + target.name + "\" is no number from 1 to 65535";
            return false;
        }
        target.tcpPort = port;
        address.resize(colon);
    }
    in_addr parsed;
    if (address.empty() || inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        problem = "\"" + target.name +
                  "\" names no IPv4 address; write tcp://ADDRESS[:PORT], as tcp://127.0.0.2:9100";
        return false;
    }
    target.kind = kPortNetwork;
    target.device = address;
    target.name = "tcp://" + address + ":" + std::to_string(target.tcpPort);
    return true;
}

// A device path: the serial port, parallel port or USB printer whose node it is.
bool ResolvePath(const std::string& path, PortTarget& target, std::string& problem) {
    const std::string wanted = Canonical(path);
    for (const SerialPortInfo& port : ListSerialPorts()) {
        if (port.device == path || Canonical(port.device) == wanted) {
            target.kind = kPortSerial;
            target.serialNumber = port.number;
            target.name = port.name;
            target.device = port.device;
            return true;
        }
    }
    for (const UsbPrinterInfo& printer : FindUsbPrinters()) {
        if (printer.node == path || Canonical(DevicePath(printer.node)) == wanted) {
            target.kind = kPortUsb;
            target.device = printer.path;
            return true;
        }
    }
    for (const ParallelPortInfo& port : ListParallelPorts()) {
        if (port.device == path || Canonical(DevicePath(port.device)) == wanted) {
            target.kind = kPortParallel;
            target.name = port.name;
            target.device = port.device;
            return true;
        }
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        problem = path + ": " + std::strerror(errno) + "; `quillon-cli list` shows the ports";
        return false;
    }
    problem = path + " is no port Quillon lists; for a terminal add a line COM<n>=" + path +
              " to the port map (" + PortMapPath() + ")";
    return false;
}

}  // namespace

bool ResolvePort(const std::string& text, PortTarget& target, std::string& problem, bool& usage) {
    usage = false;
    target.name = text;
    if (StartsWithNoCase(text, "tcp://")) {
        usage = true;
        return ResolveNetwork(std::string_view(text).substr(6), target, problem);
    }
    if (!text.empty() && text[0] == '/')
        return ResolvePath(text, target, problem);
    const int number = NumberAfter(text, 3);
    if (StartsWithNoCase(text, "com") && number > 0) {
        target.name = "COM" + std::to_string(number);
        target.device = SerialDeviceForPort(number);
        if (target.device.empty()) {
            problem = "there is no " + target.name + "; `quillon-cli list` shows the ports";
            return false;
        }
        target.kind = kPortSerial;
        target.serialNumber = number;
        return true;
    }
    if (StartsWithNoCase(text, "lpt") && number > 0) {
        target.name = "LPT" + std::to_string(number);
        target.kind = kPortParallel;
        target.device = DevicePath("lp" + std::to_string(number - 1));
        return true;
    }
    if (StartsWithNoCase(text, "usb") && number > 0) {
        target.name = "USB" + std::to_string(number);
        const std::vector<UsbPrinterInfo> printers = FindUsbPrinters();
        if (static_cast<std::size_t>(number) > printers.size()) {
            problem = "there is no " + target.name + " (" + std::to_string(printers.size()) +
                      " USB printers are present); `quillon-cli list` shows the ports";
            return false;
        }
        target.kind = kPortUsb;
        target.device = printers[static_cast<std::size_t>(number) - 1].path;
        return true;
    }
    usage = true;
    problem = "\"" + text +
              "\" is no port name: write COM<n>, LPT<n>, USB<n>, tcp://ADDRESS[:PORT] or a "
              "device path";
    return false;
}

}  // namespace quillon::cli
