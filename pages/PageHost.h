#pragma once
// What the tab pages read from and write to the main window that owns them.

#include <QString>
#include <QStringList>

#include "transport/Window.h"

namespace quillon {

// What a cycle run takes from the main window when it starts.
struct CycleSendState {
    QString lastSendText;      // the send text as copied before the start
    bool hexSend = false;      // "HEX Send"
    bool sendNewLine = false;  // "Send NewLine"
    bool chineseMode = false;  // "Chinese\nMode"
    int sendInterval = 1000;   // milliseconds
    int networkPort = 9100;    // the TCP port chosen for network printers
};

// The tab pages in tab order.
enum PageIndex : int { kComCyclePage = 0, kNetCyclePage = 1, kTestPage = 2, kOthersPage = 3 };

class PageHost {
  public:
    virtual ~PageHost() = default;

    // The main window, for the messages the pages send it (UM_MODEL_TEST,
    // UM_PRINTER_COMMAND, UM_CYCLE_FAILED).
    virtual WindowRef MainWindow() const = 0;
    // The serial port names of the port list, in list order.
    virtual const QStringList& SerialPortNames() const = 0;

    // The cycle pages report whether they have targets and whether a serial row is selected.
    virtual int SerialTargets() const = 0;
    virtual void SetSerialTargets(int ticked) = 0;
    virtual void SetSerialRowSelected(int selected) = 0;
    virtual void SetNetworkTargets(int ticked) = 0;
    // The serial page hands the parameters of its selected row to the serial lists.
    virtual QString SerialParameterText() const = 0;
    virtual void ShowSerialParameters(const QString& parameterText) = 0;
    // The send text, its modes, the interval and the network port, for a cycle run's start.
    virtual CycleSendState SendStateForCycle() const = 0;

    virtual void RefreshControlStates() = 0;
};

}  // namespace quillon
