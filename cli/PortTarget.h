#pragma once
// What a PORT argument names: "COM<n>", "LPT<n>", "USB<n>", "tcp://ADDR[:PORT]" or a device
// path, found through the same discovery and port map as the window's port list.

#include <string>

#include "transport/PortKind.h"

namespace quillon::cli {

struct SerialSettings {
    int baudRate = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
    int flow = 0;  // FlowMode
};

struct PortTarget {
    PortKind kind = kPortNone;
    std::string name;    // as listed: "COM9", "LPT1", "USB1", "tcp://127.0.0.2:9100"
    std::string device;  // the device node, USB interface path or network address
    int serialNumber = 0;
    int tcpPort = 9100;
    bool probeWebPage = true;  // a network printer's web page must answer first
    SerialSettings serial;
};

// The port `text` names. False, with the reason and what to do in `problem`, for text that
// names no port the discovery knows (a usage error when `usage` is set, else a port that
// cannot be opened).
bool ResolvePort(const std::string& text, PortTarget& target, std::string& problem, bool& usage);

}  // namespace quillon::cli
