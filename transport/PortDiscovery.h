#pragma once
// What the port list offers: the serial ports, the parallel ports that open, the USB
// printers that are present, and the text of a typed IPv4 address. Each Enum function
// appends to the caller's list (the caller empties it first); an empty or shorter list is
// the only sign that something could not be found.

#include <string>
#include <vector>

#include "transport/IpAddressText.h"
#include "transport/SerialPortNames.h"

namespace quillon {

struct ParallelPortInfo {
    std::string name;    // "LPT1"
    std::string device;  // "/dev/lp0"
};

struct UsbPrinterInfo {
    std::string path;       // "/dev/usb/lp0#usb#vid_067b&pid_2305#1-2:1.0", what OpenUsb takes
    std::string node;       // "/dev/usb/lp0"
    std::string vendorId;   // "067b", empty when the tree does not say
    std::string productId;  // "2305"
};

// "COM<n>" of every serial port, sorted by n.
void EnumSerialPorts(std::vector<std::string>& list);
// The same ports with their devices, for showing which is which.
std::vector<SerialPortInfo> ListSerialPorts();
// "LPT1" to "LPT20" whose device (/dev/lp0 to /dev/lp19) opens for writing, in order.
void EnumParallelPorts(std::vector<std::string>& list);
std::vector<ParallelPortInfo> ListParallelPorts();
// The interface paths of the USB printers present, in discovery order (lp0, lp1, ...).
void EnumUsbPrinters(std::vector<std::string>& list);
// The same printers with their nodes and ids, for showing which is which.
std::vector<UsbPrinterInfo> FindUsbPrinters();

// Sorts port names by the number from their fourth character on; names with equal
// numbers keep their order.
void SortPortNamesByNumber(std::vector<std::string>& names);

}  // namespace quillon
