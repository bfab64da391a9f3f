#pragma once
// Which device stands behind "COM<n>". Hardware ttys get fixed numbers (ttyS<k> COM<k+1>,
// ttyUSB<k> COM<33+k>, ttyACM<k> COM<65+k>, any other the next free number from COM97 on);
// then the port map (PortMapFile.h), lines "COM<n>=<device path>" in $QUILLON_PORT_MAP or else
// $XDG_CONFIG_HOME/Quillon/ports, adds ports or gives a number another device.

#include <string>
#include <vector>

namespace quillon {

struct SerialPortInfo {
    int number;          // n of "COM<n>"
    std::string name;    // "COM<n>"
    std::string device;  // what opening the port opens, for example /dev/ttyUSB0
};

// Every serial port, hardware ones in natural name order, then those the map adds in the
// order of its lines (not yet sorted by number).
std::vector<SerialPortInfo> FindSerialPorts();
// The device of COM<number>; empty when no such port exists.
std::string SerialDeviceForPort(int number);
// The port map file in use (it need not exist).
std::string PortMapPath();

}  // namespace quillon
