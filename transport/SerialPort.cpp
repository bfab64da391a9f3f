// Opening and configuring serial ports, and starting the line-event thread.

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "transport/CommonUtils.h"
#include "transport/Conversions.h"
#include "transport/PortChannel.h"
#include "transport/SerialEventThread.h"
#include "transport/SerialPortNames.h"
#include "transport/TransportState.h"
#include "transport/platform/TtyLayer.h"
#include "transport/platform/TtyOpen.h"

namespace quillon {

namespace {

// What the definition text "baud=%d parity=%c data=%d stop=%d" may hold.
bool ValidDefinition(int baudRate, char parity, int dataBits, int stopBits) {
    const bool parityKnown =
        parity == 'N' || parity == 'O' || parity == 'E' || parity == 'M' || parity == 'S';
    return baudRate > 0 && parityKnown && dataBits >= 5 && dataBits <= 8 &&
           (stopBits == 1 || stopBits == 2);
}

// A serial device that would not open; a port that no longer has a device is named by its
// COM name.
OpenOutcome SerialOpenFailure(OpenOutcome why, int portNumber) {
    if (why.device.empty())
        why.device = "COM" + std::to_string(portNumber);
    return why;
}

// The DTR or RTS line follows the input buffer (the driver drives it).
constexpr int kLineHandshake = 2;

}  // namespace

OpenOutcome CommonUtils::OpenSerial(WindowRef owner, int portNumber, int baudRate, char parity,
                                    int dataBits, int stopBits, int flowMode, int eventMask,
                                    int dtrControl, int rtsControl) {
    owner_ = std::move(owner);
    // A serial port still held (also from an open whose configuration failed) goes first.
    if (channel_ && channel_->kind == kPortSerial) {
        state_->commRunId = 0;
        ReleaseChannel();
    }
    const std::string device = SerialDeviceForPort(portNumber);
    OpenOutcome why;
    const int fd = OpenTtyExclusive(device, &why);
    // A device that is there but is no terminal cannot take the port's time-outs.
    if (why.step == OpenStep::kTerminal) {
        Close();
        return why;
    }
    if (fd < 0)
        return SerialOpenFailure(why, portNumber);
    auto channel = std::make_shared<PortChannel>(kPortSerial, owner_);
    channel->serialFd = fd;
    // Without its events the port could be neither written nor closed: let it go again.
    if (!channel->EventsReady())
        return OpenFailure(OpenStep::kResources, EMFILE, device);
    const std::shared_ptr<TtyLayer> tty = CurrentTtyLayer();
    std::unique_lock lock(channel->ioLock);
    HoldChannel(channel);
    // Time-outs live in this program, not in the driver; what can fail here is that the
    // terminal layer cannot configure the device.
    if (!tty->IsTerminal(fd)) {
        lock.unlock();
        Close();
        return OpenFailure(OpenStep::kTerminal, ENOTTY, device);
    }
    // From here a failure keeps the port held until the next OpenSerial or Close.
    if (!ValidDefinition(baudRate, parity, dataBits, stopBits))
        return OpenFailure(OpenStep::kSettings, EINVAL, device);
    SerialLineSettings settings;
    settings.baudRate = baudRate;
    settings.parity = parity;
    settings.parityCheck = parity != 'N';
    settings.dataBits = dataBits;
    settings.stopBits = stopBits;
    int rts = rtsControl & 3;
    const int dtr = dtrControl & 3;
    if (flowMode == kFlowXonXoff) {
        settings.xonXoff = true;
    } else if (flowMode != kFlowNone) {
        // CTS output flow control with RTS handshake, whatever RTS value was passed.
        settings.ctsFlow = true;
        rts = kLineHandshake;
    }
    if (!tty->Apply(fd, settings))
        return OpenFailure(OpenStep::kConfigure, EINVAL, device);
    // Handshake and toggle modes start with the line raised; the driver drives it on.
    // A device without modem lines (a pseudo-terminal) has nothing to set.
    tty->SetLines(fd, dtr != 0, rts != 0);
    lock.unlock();
    // Received bytes from before the open go. Output is left alone: on Linux it belongs to
    // the device, not to this open, and may still hold what the previous open sent.
    tty->Flush(fd, TtyQueue::kInput);
    commEventMask_ = static_cast<std::uint32_t>(eventMask);
    state_->portKind = kPortSerial;
    StartThreads();
    return {};
}

OpenOutcome CommonUtils::OpenSerialByText(int portNumber, const char* settingsText) {
    int baudRate = 0;
    char parityLetter = 0;
    int dataBits = 0;
    int stopBits = 0;
    int flowChoice = 0;
    // A number that does not fit ("4294976896,N,8,1") is no setting at all.
    if (!ParseSerialSettings(settingsText ? settingsText : "", &baudRate, &parityLetter, &dataBits,
                             &stopBits, &flowChoice))
        return OpenFailure(OpenStep::kSettings, EINVAL);
    const std::string device = SerialDeviceForPort(portNumber);
    OpenOutcome why;
    const int fd = OpenTtyExclusive(device, &why);
    if (fd < 0)
        return SerialOpenFailure(why, portNumber);
    auto channel = std::make_shared<PortChannel>(kPortSerial, owner_);
    channel->serialFd = fd;
    if (!channel->EventsReady())
        return OpenFailure(OpenStep::kResources, EMFILE, device);
    // Held from here until Close, also when a later step fails.
    HoldChannel(channel);
    const std::shared_ptr<TtyLayer> tty = CurrentTtyLayer();
    if (!tty->IsTerminal(fd))
        return OpenFailure(OpenStep::kTerminal, ENOTTY, device);
    SerialLineSettings settings;
    settings.baudRate = baudRate;
    settings.parity = parityLetter == 'E' ? 'E' : parityLetter == 'O' ? 'O' : 'N';
    settings.parityCheck = true;
    settings.dataBits = dataBits;
    // "9600,N,8,1" reads with stop bits 0: anything but 2 is one stop bit.
    settings.stopBits = stopBits == 2 ? 2 : 1;
    // The text's own flow choice, as the window's serial port takes it: on a three-wire
    // cable a port with CTS flow would never send a byte. A text of four fields
    // ("9600,N,8,1") has none; its parse reads the stop bits as the flow value.
    const std::string_view text = settingsText;
    if (std::count(text.begin(), text.end(), ',') < 4)
        flowChoice = kFlowNone;
    settings.xonXoff = flowChoice == kFlowXonXoff;
    settings.ctsFlow = flowChoice != kFlowNone && flowChoice != kFlowXonXoff;
    // A text the line cannot take (no speed, 9 data bits) fails instead of leaving the
    // port at whatever settings it had.
    if (!tty->Apply(fd, settings))
        return OpenFailure(OpenStep::kConfigure, EINVAL, device);
    tty->SetLines(fd, true, true);
    state_->portKind = kPortSerial;
    return {};
}

void CommonUtils::StartSerialThread() {
    const SharedChannel channel = channel_;
    const SharedState state = state_;
    const std::shared_ptr<TtyLayer> tty = CurrentTtyLayer();
    const std::uint32_t mask = commEventMask_;
    const LinesAtOpen lines = ReadLinesAtOpen(*channel, *tty, mask);
    LaunchWorker(state->commRunId, [state, channel, tty, mask, lines](std::uint32_t id) {
        CommEventThread(state, channel, tty, mask, lines, id);
    });
}

}  // namespace quillon
