#include "printer/app/StateCommands.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <iostream>

#include "printer/app/PrinterSession.h"

namespace quillon {

bool ApplyStateCommand(const std::string& line, printer::PrinterState& s) {
    struct Command {
        const char* text;
        bool printer::PrinterState::*item;
        bool value;
    };
    static const Command kCommands[] = {
        {"cover open", &printer::PrinterState::coverOpen, true},
        {"cover closed", &printer::PrinterState::coverOpen, false},
        {"paper out", &printer::PrinterState::paperEnd, true},
        {"paper in", &printer::PrinterState::paperEnd, false},
        {"near-end on", &printer::PrinterState::paperNearEnd, true},
        {"near-end off", &printer::PrinterState::paperNearEnd, false},
        {"drawer open", &printer::PrinterState::drawerOpen, true},
        {"drawer closed", &printer::PrinterState::drawerOpen, false},
    };
    std::string trimmed = line;
    while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == ' '))
        trimmed.pop_back();
    for (const Command& c : kCommands) {
        if (trimmed == c.text) {
            s.*c.item = c.value;
            return true;
        }
    }
    return false;
}

std::string DescribeState(const printer::PrinterState& s) {
    return std::string(s.coverOpen ? "cover open" : "cover closed") +
           (s.paperEnd ? ", paper out" : ", paper in") +
           (s.paperNearEnd ? ", near-end on" : ", near-end off") +
           (s.drawerOpen ? ", drawer open" : ", drawer closed");
}

StateCommands::StateCommands(PrinterSession& session, int fd, QObject* parent)
    : QObject(parent),
      session_(session),
      fd_(fd),
      notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Read(); });
}

void StateCommands::Read() {
    char buffer[512];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) {
        // The end of the input (or no input to read): nothing more will come.
        notifier_->setEnabled(false);
        return;
    }
    pending_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line.find_first_not_of(" \r") == std::string::npos)
            continue;
        printer::PrinterState state = session_.State();
        if (!ApplyStateCommand(line, state)) {
            std::cerr << "quillon-printer: no such command: " << line << "\n";
            continue;
        }
        // "drawer open" holds it open, as the window's button does.
        session_.SetState(state, line.starts_with("drawer"));
        std::cout << "state: " << DescribeState(state) << std::endl;
    }
    // A line without an end that grows beyond reason is no command.
    if (pending_.size() > 4096)
        pending_.clear();
}

}  // namespace quillon
