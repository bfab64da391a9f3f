#pragma once
// What the main window keeps of the bytes it received since the last clear. Both texts
// grow together whatever the view; the view only decides which one the receive area shows.

#include <QByteArray>
#include <cstdint>

namespace quillon {

struct ReceiveState {
    QByteArray hexText;       // every byte as two upper-case hexadecimal digits and a blank
    QByteArray charText;      // every byte as it came
    std::uint32_t count = 0;  // the RX counter; it runs also while paused
    int paused = 0;           // received bytes are counted but neither shown nor kept
};

}  // namespace quillon
