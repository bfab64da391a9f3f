#pragma once
// Everything the main window remembers, grouped by the part of the window that owns it,
// with its start values.

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <set>

#include "app/FileSendJob.h"
#include "app/ReceiveState.h"
#include "transport/SerialLines.h"

namespace quillon {

// The line events the main window's serial port reports: received bytes and the three
// modem input lines it shows.
constexpr int kMainWindowLineEvents = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD;

// The port the window opens and closes.
struct PortState {
    int open = 0;
    int kind = 0;              // 1 serial, 2 parallel, 3 USB, 4 network
    QString selectedName;      // the port list entry that was opened; empty while closed
    QString startPort;         // the port to choose at start (--port); empty for none
    int baudRate = 9600;       // last serial parameters read from the lists
    int serialPortNumber = 1;  // the n of "COMn"
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
    int flowControl = 0;          // 0 none, 1 XON/XOFF, 2 RTS/CTS
    QString serialParameterText;  // "%d,%c,%d,%d, %d"
    int lineEventMask = kMainWindowLineEvents;
    int networkPort = 9100;
    QString usbDevicePath;  // interface path of the open USB printer
    QString stateText;      // the state line without the modem lines
    QString modemLineText;  // " CTS=%d DSR=%d RLSD=%d"
    QString holdText;       // after them: how long the printer has taken nothing; or empty
    QPixmap openIcon;       // icon 138
    QPixmap closedIcon;     // icon 137
};

// The send box, the file to send and what has been sent.
struct SendState {
    QString hexSendText;
    QString charSendText;
    QString lastSendText;
    QString selectedFile;       // "No File Selected." until a file is chosen
    int sendingInProgress = 0;  // a send made while only the file auto-send runs
    std::uint32_t transmitCount = 0;
    FileSendJob fileJob;  // the file being sent, while it is
    // What a block handed to the port was for.
    enum class Role { kText, kFilePiece, kModelLine, kModelFeed };
    // Every block handed to the port and not yet reported, by the id its report carries. A
    // report whose id is not here belongs to a send that has ended (a stopped file send,
    // a closed port) and moves nothing but the TX counter.
    std::map<std::uint64_t, Role> handedOver;
    // Automatic re-sends (timers 1 and 2) that fell due while another send held the port;
    // they go once it has ended.
    std::set<int> dueResends;
};

// The automatic re-sends that timers 1 and 2 drive.
struct TimerState {
    int autoSend = 0;         // mirrors the text "Auto Send" box 1014
    int fileAutoSend = 0;     // mirrors the file "Auto Send" box 1017
    int sendInterval = 1000;  // milliseconds
};

struct QuillonDlgState {
    PortState port;
    SendState send;
    TimerState timers;
    ReceiveState receive;

    int alwaysOnTop = 0;  // the window is pinned above all others
    int cyclePage = 1;    // the selected page is Com Cycle or Net Cycle
    QStringList serialPortNames;
    QString saveDirectory;
    QIcon applicationIcon;  // icon 135
    int serialCount = 0;
    int parallelCount = 0;
    int usbCount = 0;
    int serialTargets = 0;      // some serial port is ticked on the Com Cycle page
    int networkTargets = 0;     // some address is ticked on the Net Cycle page
    int serialRowSelected = 0;  // a row of the Com Cycle page is selected
    int pageArea = 1;           // the tab page area is shown
    QRect tabClientRect;
    std::map<std::uint32_t, QString> usbPaths;  // number of a "USB%d" entry -> interface path
    int portListStale = 0;  // devices changed while a port was open: refresh once it closes
    int helpShown = 0;
};

}  // namespace quillon
