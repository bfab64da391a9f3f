#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "app/Version.h"

namespace quillon {

namespace {

const char* kDescription =
    "Quillon tests and debugs receipt (POS) printers over serial, parallel, USB-printer and\n"
    "network (TCP) ports.";

// After the options: what else the program reads when it starts.
const char* kEnvironment =
    "\nQt's own options, such as -platform and -style, are accepted too.\n"
    "\nEnvironment:\n"
    "  LC_ALL, LC_MESSAGES, LANG  the first one set picks the interface language:\n"
    "                             Chinese when it starts with zh, else English\n"
    "  QUILLON_PORT_MAP       the port map file, lines COM<n>=<device path>\n"
    "                         (default: $XDG_CONFIG_HOME/Quillon/ports)\n"
    "  XDG_CONFIG_HOME        the folder of Quillon/Quillon.ini and Quillon/ports\n"
    "                         (default: ~/.config)\n"
    "  QUILLON_DEV_ROOT       the folder devices are opened in (default: /dev)\n"
    "  QUILLON_SYSFS_ROOT     the folder devices are discovered in (default: /sys)\n"
    "  QUILLON_LOG=1          write the diagnostic log, as --log does\n"
    "  XDG_STATE_HOME         the folder of Quillon/sessions/, the session logs\n"
    "                         (default: ~/.local/state)\n"
    "  QUILLON_SESSION_LOG=0  write no session logs\n"
    "  QUILLON_SESSION_LOG_MIB  the most the session logs take together, in MiB\n"
    "                         (default: 256; the oldest go first)\n"
    "  QUILLON_WINDOW_REPORT  a file the window describes itself in once it is up\n"
    "  QUILLON_WINDOW_SCRIPT  a file of lines that act on the window's controls by id\n"
    "                         (with QUILLON_WINDOW_REPORT; see the README)\n";

struct Options {
    QCommandLineOption help{{"h", "help"}, "Show this help and end."};
    QCommandLineOption version{{"v", "version"}, "Show the version and end."};
    QCommandLineOption port{"port",
                            "Start with the entry NAME of the port list chosen (COM9, LPT1,\n"
                            "USB1, Ethernet; any case). A name that is not in the list ends\n"
                            "the program with an error that lists the ports there are.",
                            "NAME"};
    QCommandLineOption log{"log", "Write the diagnostic log Quillon.log in the current folder."};
};

// "-port COM9" reads as "--port COM9", as Qt's own options do.
void Describe(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription(kDescription);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({options.help, options.version, options.port, options.log});
}

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

std::optional<int> AnswerHelpOrVersion(int argc, char** argv) {
    const Options options;
    QCommandLineParser parser;
    Describe(parser, options);
    // Options meant for Qt are unknown here; they do not stand in the way of help.
    parser.parse(ArgumentsOf(argc, argv));
    if (parser.isSet(options.help)) {
        // The usage line names the program as it was started.
        QCoreApplication core(argc, argv);
        Print(stdout, parser.helpText() + kEnvironment);
        return 0;
    }
    if (parser.isSet(options.version)) {
        Print(stdout, QStringLiteral("quillon %1\n").arg(kProgramVersion, 0, 'f', 1));
        return 0;
    }
    return std::nullopt;
}

std::optional<StartOptions> ReadStartOptions(const QStringList& arguments) {
    const Options options;
    QCommandLineParser parser;
    Describe(parser, options);
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[0]);
    else if (parser.isSet(options.port) && parser.value(options.port).isEmpty())
        error = QStringLiteral("--port needs the name of a port, such as COM9.");
    if (!error.isEmpty()) {
        Print(stderr, "quillon: " + error + "\nRun 'quillon --help' for the options.\n");
        return std::nullopt;
    }
    StartOptions start;
    start.log = parser.isSet(options.log);
    start.port = parser.value(options.port);
    return start;
}

}  // namespace quillon
