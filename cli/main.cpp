// quillon-cli: scripted printer tests from the command line (see --help).

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <memory>

#include "cli/CommandLine.h"

using namespace quillon::cli;

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Parsed parsed = ParseCommandLine(arguments);
    // Only preview draws: it alone starts Qt's drawing, on the offscreen platform, so that it
    // runs over SSH and the other commands start as fast as Qt Core does.
    const bool draws =
        parsed.action == Parsed::Action::kRun && parsed.options.command == QLatin1String("preview");
    if (draws)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app(draws ? new QGuiApplication(argc, argv)
                                                : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("quillon-cli"));
    CatchInterrupts();
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
    else if (options.command == QLatin1String("model-test"))
        result = RunModelTest(options);
    else
        result = RunPreview(options);
    Print(result, options.json);
    return result.exitCode;
}
