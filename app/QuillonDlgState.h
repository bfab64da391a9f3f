#pragma once
// Everything the main window remembers, in one place, with its start values.

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>

#include "app/ReceiveState.h"

struct QuillonDlgState {
    ReceiveState receive;
    int alwaysOnTop = 0;        // the window is pinned above all others
    int sendingInProgress = 0;  // a send made while only the file auto-send runs
    int autoSend = 0;           // mirrors the text "Auto Send" box 1014
    int fileAutoSend = 0;       // mirrors the file "Auto Send" box 1017
    int cyclePage = 1;          // the selected page is Com Cycle or Net Cycle
    QPixmap openPortIcon;       // icon 138
    QPixmap closedPortIcon;     // icon 137
    int baudRate = 9600;        // last serial parameters read from the lists
    int serialPortNumber = 1;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
    int flowControl = 0;  // 0 none, 1 XON/XOFF, 2 RTS/CTS
    QStringList serialPortNames;
    QString modemLineText;  // " CTS=%d DSR=%d RLSD=%d"
    QString hexSendText;
    QString charSendText;
    QString lastSendText;
    std::uint32_t transmitCount = 0;
    QString saveDirectory;
    QString selectedFile;  // "No File Selected." until a file is chosen
    QString selectedPortName;
    int commEventMask = 57;  // received characters and the CTS, DSR and RLSD lines
    QIcon applicationIcon;   // icon 135
    int serialCount = 0;
    int parallelCount = 0;
    int usbCount = 0;
    float version = 6.4f;
    int portOpen = 0;
    int serialTargets = 0;      // some serial port is ticked on the Com Cycle page
    int networkTargets = 0;     // some address is ticked on the Net Cycle page
    int serialRowSelected = 0;  // a row of the Com Cycle page is selected
    int sendInterval = 1000;    // milliseconds
    int networkPort = 9100;
    QString serialParameterText;  // "%d,%c,%d,%d, %d"
    QString scratchText;
    QString usbDevicePath;
    int pageArea = 1;  // the tab page area is shown
    QRect tabClientRect;
    std::map<std::uint32_t, QString> usbPaths;  // number of a "USB%d" entry -> interface path
    int helpShown = 0;
    QString portStateText;
    int portKind = 0;  // 1 serial, 2 parallel, 3 USB, 4 network
    QString captionText;
};
