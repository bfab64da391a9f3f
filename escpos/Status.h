#pragma once
// A printer's state as its sensors see it, and the status bytes that tell it: the answers to
// DLE EOT n, automatic status back (GS a), GS r and ESC v.

#include <array>
#include <cstdint>

namespace quillon::escpos {

struct PrinterState {
    bool coverOpen = false;
    bool paperEnd = false;
    bool paperNearEnd = false;
    bool drawerOpen = false;
    bool Online() const { return !coverOpen && !paperEnd; }
    bool operator==(const PrinterState&) const = default;
};

// The drawer's sensor (kick-out connector pin 3) reads high while the drawer is shut; every
// answer that carries it uses that same meaning.

// DLE EOT n, n = 1..4; 0 for any other n.
uint8_t RealTimeStatus(const PrinterState& state, int n);
// The four bytes of automatic status back.
std::array<uint8_t, 4> AutomaticStatus(const PrinterState& state);
// GS r 1 and ESC v.
uint8_t PaperSensorStatus(const PrinterState& state);
// GS r 2.
uint8_t DrawerStatus(const PrinterState& state);

// Automatic status items, the bits of GS a n.
enum AsbItem : uint8_t {
    kAsbDrawer = 1,
    kAsbOnline = 2,
    kAsbError = 4,
    kAsbPaper = 8,
};
// Which items differ between two states.
uint8_t ChangedItems(const PrinterState& before, const PrinterState& after);

}  // namespace quillon::escpos
