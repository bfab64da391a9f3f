#pragma once
// The command line: which command, its port and its options, checked before anything is
// opened or sent.

#include <QString>
#include <QStringList>

#include "cli/Command.h"

namespace quillon::cli {

struct Parsed {
    enum class Action { kRun, kHelp, kVersion, kUsageError };
    Action action = Action::kRun;
    Options options;
    QString problem;  // kUsageError
};

Parsed ParseCommandLine(const QStringList& arguments);
QString HelpText(const QString& program);

}  // namespace quillon::cli
