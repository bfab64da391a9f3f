#pragma once
// Lines on the printer's standard input change what its sensors see, as the window's buttons
// do, so that a script can open the cover of a headless printer: "cover open", "cover
// closed", "paper out", "paper in", "near-end on", "near-end off", "drawer open", "drawer
// closed". Each change applied is answered with a "state: ..." line on standard output.

#include <QObject>
#include <string>

#include "printer/VirtualPrinter.h"

class QSocketNotifier;

namespace quillon {

class PrinterSession;

// Applies one command line to a state; false for a line that is no command.
bool ApplyStateCommand(const std::string& line, printer::PrinterState& state);
// "cover open, paper in, near-end off, drawer closed".
std::string DescribeState(const printer::PrinterState& state);

class StateCommands : public QObject {
  public:
    // Reads `fd` (standard input) from the event loop until it ends.
    StateCommands(PrinterSession& session, int fd, QObject* parent);

  private:
    void Read();

    PrinterSession& session_;
    int fd_;
    QSocketNotifier* notifier_;
    std::string pending_;  // a line not yet ended
};

}  // namespace quillon
