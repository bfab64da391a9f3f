#pragma once
// The program's command line: --port NAME, --log, --help and --version. Qt's own options
// (-platform, -style, ...) are taken out by the application object before the rest is read.

#include <QString>
#include <QStringList>
#include <optional>

namespace quillon {

// The exit status of a command line that cannot be followed, as other command-line tools
// use it.
constexpr int kUsageError = 2;

struct StartOptions {
    bool log = false;  // --log: write the diagnostic log
    QString port;      // --port NAME: the port list entry to start with; empty for none
};

// Answers --help or --version on standard output before the window system is reached, so
// that both work without a display. The exit status when one was asked for, else nothing.
std::optional<int> AnswerHelpOrVersion(int argc, char** argv);

// Reads the arguments Qt left. On a bad command line writes why to standard error and
// returns nothing: the program then ends with kUsageError.
std::optional<StartOptions> ReadStartOptions(const QStringList& arguments);

}  // namespace quillon
