#pragma once
// The few things the serial side asks of a terminal device: take a line configuration,
// set and read the modem lines, and throw away queued bytes. The real layer does it with
// termios and ioctl; tests put a layer of their own in its place, because a
// pseudo-terminal has no modem lines and ignores parity and data bits.

#include <memory>

namespace quillon {

// What one serial open asks of the line.
struct SerialLineSettings {
    int baudRate = 9600;
    char parity = 'N';         // 'N' none, 'O' odd, 'E' even, 'M' mark, 'S' space
    bool parityCheck = false;  // received bytes with a parity error are marked (INPCK)
    int dataBits = 8;          // 5 to 8
    int stopBits = 1;          // 1 or 2
    bool ctsFlow = false;      // output waits for CTS, RTS follows the input buffer (CRTSCTS)
    bool dsrFlow = false;      // asked for, but Linux has no DSR output flow control
    bool xonXoff = false;      // XON 0x11 / XOFF 0x13 in both directions
};

// Modem line bits as the serial side sees them.
enum ModemLine : int {
    kLineDtr = 0x01,
    kLineRts = 0x02,
    kLineCts = 0x10,
    kLineDsr = 0x20,
    kLineRing = 0x40,
    kLineDcd = 0x80,
};

enum class LineSupport {
    kOk,           // the bits were read
    kUnsupported,  // the device has no modem lines (a pseudo-terminal): they read as 0
    kGone,         // the device went away
};

enum class TtyQueue { kInput, kOutput, kBoth };

class TtyLayer {
  public:
    virtual ~TtyLayer() = default;
    // True when fd is a terminal whose settings can be read and changed.
    virtual bool IsTerminal(int fd) = 0;
    // Raw mode with the given line settings. False when the driver refuses them, for
    // example a speed it cannot produce.
    virtual bool Apply(int fd, const SerialLineSettings& settings) = 0;
    // Raises or drops DTR and RTS. False when the device has no modem lines.
    virtual bool SetLines(int fd, bool dtr, bool rts) = 0;
    // Reads the modem lines into *bits (ModemLine values); *bits is 0 unless kOk.
    virtual LineSupport GetLines(int fd, int* bits) = 0;
    // Discards what is queued in one or both directions.
    virtual bool Flush(int fd, TtyQueue queue) = 0;
};

// The layer every serial open uses from now on. Passing null puts the real layer back.
// Returns the layer that was in use.
std::shared_ptr<TtyLayer> SetTtyLayer(std::shared_ptr<TtyLayer> layer);
// The layer in use now; each open keeps the one it started with.
std::shared_ptr<TtyLayer> CurrentTtyLayer();
// The termios implementation.
std::shared_ptr<TtyLayer> RealTtyLayer();

}  // namespace quillon
