#pragma once
// One connection to a printer over a serial port, a parallel port, a USB printer or TCP,
// with the worker threads its kind needs. Every message goes to one owner window.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/OpenOutcome.h"
#include "transport/PortKind.h"
#include "transport/Window.h"

namespace quillon {

// Flow control of a serial port, as the flow-control list and the serial parameter text
// number it.
enum FlowMode : int {
    kFlowNone = 0,
    kFlowXonXoff = 1,
    kFlowRtsCts = 2,
};

class SharedFile;
struct PortChannel;
struct TransportState;

class CommonUtils {
  public:
    CommonUtils();
    virtual ~CommonUtils();
    CommonUtils(const CommonUtils&) = delete;
    CommonUtils& operator=(const CommonUtils&) = delete;

    // Each open says whether the port opened and, when it did not, which step failed and
    // why (OpenOutcome); the transport shows nothing itself.

    // Serial port "COM<n>" opened for the line-event thread; flowMode is a FlowMode, and
    // any value but none or XON/XOFF means RTS/CTS. dtrControl and rtsControl: only the
    // low 2 bits count (0 off, 1 on, 2 handshake, 3 toggle).
    OpenOutcome OpenSerial(WindowRef owner, int portNumber, int baudRate, char parity, int dataBits,
                           int stopBits, int flowMode, int eventMask, int dtrControl,
                           int rtsControl);
    // Serial port for synchronous writing with SendDirect; no thread, owner unchanged.
    OpenOutcome OpenSerialByText(int portNumber, const char* settings);
    // USB printer interface path, "<node>#usb#vid_xxxx&pid_xxxx#..." or a bare node.
    OpenOutcome OpenUsb(WindowRef owner, const char* devicePath);
    // Parallel port by name, "LPT1" to "LPT20".
    OpenOutcome OpenParallel(WindowRef owner, const char* portName);
    // Network printer: HTTP probe on port 80 of the address, then TCP to tcpPort. Without
    // probeWebPage the raw port is connected at once (a printer with no web page).
    OpenOutcome OpenNetwork(WindowRef owner, const char* address, int tcpPort,
                            bool probeWebPage = true);

    // Queues a copy of the bytes for the thread that writes; a length of 0 writes nothing.
    // Returns the block's id, which its UM_TX_DONE report carries; 0 when no port is open
    // (nothing is queued, nothing reported).
    std::uint64_t Send(const void* data, int length);
    // Queues `length` bytes of an open file from `offset`. The writer takes them from the
    // file as it goes, without a copy where the kernel can; a file that has become shorter
    // by then ends the block early. Returns the block's id as Send does.
    std::uint64_t SendFile(std::shared_ptr<const SharedFile> file, std::int64_t offset,
                           std::size_t length);
    // Writes the bytes at once on the caller's thread; nothing is reported. A peer that
    // takes nothing for a while ends the write.
    void SendDirect(const void* data, int length);
    // Stops the workers without waiting for them and releases the port.
    void Close();

    // The connected socket (kind 4), -1 when none.
    int GetSocket() const;
    // The open serial descriptor (kind 1), -1 when none.
    int GetSerialHandle() const;

    int portKind() const;
    int quietSend() const;
    void setQuietSend(int quiet);
    int readBack() const { return readBack_; }
    std::uint32_t bytesWritten() const;
    std::uint32_t bytesRead() const;
    // Run ids of the current writer, reader and serial line-event thread; 0 means stop.
    std::uint32_t writeRunId() const;
    std::uint32_t readRunId() const;
    std::uint32_t commRunId() const;
    const WindowRef& owner() const { return owner_; }

    // Modem input lines as last read by the owner window; the transport only zeroes them.
    int ctsOn = 0;
    int dsrOn = 0;
    int rlsdOn = 0;

  private:
    // Ends the workers of the current channel and lets its device go; never waits.
    void ReleaseChannel();
    // Makes a freshly opened channel the current one, letting go of any earlier one.
    void HoldChannel(std::shared_ptr<PortChannel> channel);
    // The same, for a port that is ready: also sets the port kind.
    void AdoptChannel(std::shared_ptr<PortChannel> channel, PortKind kind);
    // Starts the workers the port kind needs, with the channel just opened.
    void StartThreads();
    // Starts the serial line-event thread of an OpenSerial port.
    void StartSerialThread();

    const std::string usbVendorId_ = "vid_067b";
    const std::string usbProductId_ = "pid_2305";
    int readBack_ = 1;
    // Line events the serial line-event thread reports (EV_RXCHAR, EV_CTS, ...).
    std::uint32_t commEventMask_ = 0;
    WindowRef owner_;
    // The id of the last block handed over; ids go on across closes and reopens, so a
    // report of an earlier open never names a block of a later one.
    std::uint64_t lastBlock_ = 0;
    // What the workers share with the object: run ids, kind, counters, quietSend.
    std::shared_ptr<TransportState> state_;
    // Descriptors, events and pending blocks of the open port; null when closed.
    std::shared_ptr<PortChannel> channel_;
};

}  // namespace quillon
