#pragma once
// The kinds of port a transport opens; the main window keeps the kind of the selected
// port-list entry with the same codes.

namespace quillon {

enum PortKind : int {
    kPortNone = 0,
    kPortSerial = 1,
    kPortParallel = 2,
    kPortUsb = 3,
    kPortNetwork = 4,
};

}  // namespace quillon
