// The terminal layer on termios and the modem-control ioctls.

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "transport/platform/TtyLayer.h"
#include "transport/platform/TtySpeed.h"

namespace quillon {

namespace {

struct SpeedConstant {
    int rate;
    speed_t constant;
};

constexpr SpeedConstant kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool StandardSpeed(int rate, speed_t* constant) {
    for (const auto& s : kSpeeds) {
        if (s.rate == rate) {
            *constant = s.constant;
            return true;
        }
    }
    return false;
}

tcflag_t DataBitsFlag(int bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// A UART cannot always make the exact rate; what it makes within 3 % talks to the peer.
bool CloseEnough(int wanted, int got) {
    return got > 0 && std::abs(static_cast<long>(got) - wanted) * 100 <= 3L * wanted;
}

class TermiosTtyLayer : public TtyLayer {
  public:
    bool IsTerminal(int fd) override {
        termios t{};
        return tcgetattr(fd, &t) == 0;
    }

    bool Apply(int fd, const SerialLineSettings& s) override {
        if (s.baudRate <= 0 || s.dataBits < 5 || s.dataBits > 8 ||
            (s.stopBits != 1 && s.stopBits != 2))
            return false;
        termios t{};
        if (tcgetattr(fd, &t) != 0)
            return false;
        cfmakeraw(&t);
        // Modem status must not block reads or opens; HUPCL drops DTR when the port closes.
        t.c_cflag |= CLOCAL | CREAD | HUPCL;
        t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
        t.c_cflag |= DataBitsFlag(s.dataBits);
        if (s.stopBits == 2)
            t.c_cflag |= CSTOPB;
        switch (s.parity) {
            case 'N':
                break;
            case 'O':
                t.c_cflag |= PARENB | PARODD;
                break;
            case 'E':
                t.c_cflag |= PARENB;
                break;
            case 'M':
                t.c_cflag |= PARENB | PARODD | CMSPAR;
                break;
            case 'S':
                t.c_cflag |= PARENB | CMSPAR;
                break;
            default:
                return false;
        }
        t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
        if (s.parityCheck && s.parity != 'N')
            t.c_iflag |= INPCK;
        if (s.ctsFlow)
            t.c_cflag |= CRTSCTS;
        if (s.xonXoff) {
            t.c_iflag |= IXON | IXOFF;
            t.c_cc[VSTART] = 0x11;
            t.c_cc[VSTOP] = 0x13;
        }
        // The descriptor is non-blocking and waits with poll(); reads return what is there.
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        speed_t constant;
        const bool standard = StandardSpeed(s.baudRate, &constant);
        if (standard) {
            cfsetispeed(&t, constant);
            cfsetospeed(&t, constant);
        }
        if (tcsetattr(fd, TCSANOW, &t) != 0)
            return false;
        if (!standard && !SetTtyOtherSpeed(fd, s.baudRate))
            return false;
        // tcsetattr succeeds when any part was taken; a refused speed shows only here.
        return CloseEnough(s.baudRate, TtyOutputSpeed(fd));
    }

    bool SetLines(int fd, bool dtr, bool rts) override {
        int raise = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
        int drop = (dtr ? 0 : TIOCM_DTR) | (rts ? 0 : TIOCM_RTS);
        bool ok = true;
        if (raise)
            ok = ioctl(fd, TIOCMBIS, &raise) == 0 && ok;
        if (drop)
            ok = ioctl(fd, TIOCMBIC, &drop) == 0 && ok;
        return ok;
    }

    LineSupport GetLines(int fd, int* bits) override {
        *bits = 0;
        int status = 0;
        if (ioctl(fd, TIOCMGET, &status) != 0) {
            // ENOTTY and EINVAL: a driver without modem lines (a pseudo-terminal).
            return (errno == ENOTTY || errno == EINVAL) ? LineSupport::kUnsupported
                                                        : LineSupport::kGone;
        }
        if (status & TIOCM_DTR)
            *bits |= kLineDtr;
        if (status & TIOCM_RTS)
            *bits |= kLineRts;
        if (status & TIOCM_CTS)
            *bits |= kLineCts;
        if (status & TIOCM_DSR)
            *bits |= kLineDsr;
        if (status & TIOCM_RI)
            *bits |= kLineRing;
        if (status & TIOCM_CD)
            *bits |= kLineDcd;
        return LineSupport::kOk;
    }

    bool Flush(int fd, TtyQueue queue) override {
        const int which = queue == TtyQueue::kInput    ? TCIFLUSH
                          : queue == TtyQueue::kOutput ? TCOFLUSH
                                                       : TCIOFLUSH;
        return tcflush(fd, which) == 0;
    }
};

std::mutex layerLock;
std::shared_ptr<TtyLayer>& InstalledLayer() {
    static std::shared_ptr<TtyLayer> layer = RealTtyLayer();
    return layer;
}

}  // namespace

std::shared_ptr<TtyLayer> RealTtyLayer() {
    static const std::shared_ptr<TtyLayer> real = std::make_shared<TermiosTtyLayer>();
    return real;
}

std::shared_ptr<TtyLayer> SetTtyLayer(std::shared_ptr<TtyLayer> layer) {
    std::lock_guard lock(layerLock);
    std::shared_ptr<TtyLayer> previous = InstalledLayer();
    InstalledLayer() = layer ? std::move(layer) : RealTtyLayer();
    return previous;
}

std::shared_ptr<TtyLayer> CurrentTtyLayer() {
    std::lock_guard lock(layerLock);
    return InstalledLayer();
}

}  // namespace quillon
