#include "escpos/Status.h"

namespace quillon::escpos {
namespace {

constexpr uint8_t kFixedBits = 0x12;  // bits 1 and 4 of every DLE EOT answer

uint8_t DrawerBit(const PrinterState& s) {
    return s.drawerOpen ? 0 : 0x04;
}

}  // namespace

uint8_t RealTimeStatus(const PrinterState& s, int n) {
    switch (n) {
        case 1:
            return kFixedBits | DrawerBit(s) | (s.Online() ? 0 : 0x08);
        case 2:
            return kFixedBits | (s.coverOpen ? 0x04 : 0) | (s.paperEnd ? 0x20 : 0);
        case 3:
            return kFixedBits;
        case 4:
            return kFixedBits | (s.paperNearEnd && !s.paperEnd ? 0x0C : 0) |
                   (s.paperEnd ? 0x60 : 0);
        default:
            return 0;
    }
}

std::array<uint8_t, 4> AutomaticStatus(const PrinterState& s) {
    const uint8_t first = 0x10 | DrawerBit(s) | (s.Online() ? 0 : 0x08) | (s.coverOpen ? 0x20 : 0);
    const uint8_t third = (s.paperNearEnd && !s.paperEnd ? 0x03 : 0) | (s.paperEnd ? 0x0C : 0);
    return {first, 0x00, third, 0x00};
}

uint8_t PaperSensorStatus(const PrinterState& s) {
    return (s.paperNearEnd && !s.paperEnd ? 0x03 : 0) | (s.paperEnd ? 0x0C : 0);
}

uint8_t DrawerStatus(const PrinterState& s) {
    return s.drawerOpen ? 0x00 : 0x01;
}

uint8_t ChangedItems(const PrinterState& a, const PrinterState& b) {
    uint8_t items = 0;
    if (a.drawerOpen != b.drawerOpen)
        items |= kAsbDrawer;
    if (a.Online() != b.Online() || a.coverOpen != b.coverOpen)
        items |= kAsbOnline;
    if (a.paperEnd != b.paperEnd || a.paperNearEnd != b.paperNearEnd)
        items |= kAsbPaper;
    return items;
}

}  // namespace quillon::escpos
