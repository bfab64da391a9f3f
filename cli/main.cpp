// quillon-cli: scripted printer tests from the command line (see --help).

#include <QCoreApplication>
#include <cstdio>

#include "cli/CommandLine.h"

using namespace quillon::cli;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-cli"));
    CatchInterrupts();
    const Parsed parsed = ParseCommandLine(QCoreApplication::arguments());
    switch (parsed.action) {
        case Parsed::Action::kHelp:
            std::fputs(HelpText(QStringLiteral("quillon-cli")).toLocal8Bit().constData(), stdout);
            return kExitOk;
        case Parsed::Action::kVersion:
            std::printf("quillon-cli %s\n", QUILLON_VERSION_TEXT);
            return kExitOk;
        case Parsed::Action::kUsageError:
            std::fprintf(stderr, "quillon-cli: %s\nTry 'quillon-cli --help'.\n",
                         parsed.problem.toLocal8Bit().constData());
            return kExitUsage;
        case Parsed::Action::kRun:
            break;
    }
    const Options& options = parsed.options;
    Result result;
    if (options.command == QLatin1String("list"))
        result = RunList(options);
    else if (options.command == QLatin1String("status"))
        result = RunStatus(options);
    else if (options.command == QLatin1String("identify"))
        result = RunIdentify(options);
    else if (options.command == QLatin1String("send"))
        result = RunSend(options);
    else if (options.command == QLatin1String("monitor"))
        result = RunMonitor(options);
    else
        result = RunModelTest(options);
    Print(result, options.json);
    return result.exitCode;
}
