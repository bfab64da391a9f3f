#include "cli/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <map>
#include <set>

#include "printer/Geometry.h"
#include "transport/CommonUtils.h"
#include "transport/Conversions.h"

namespace quillon::cli {

namespace {

const char* kDescription =
    "Scripted printer tests from the command line, on the same ports as the Quillon window.\n"
    "\n"
    "Commands:\n"
    "  list [--json]\n"
    "      The ports there are: COM<n> with its device, LPT<n>, USB<n> with its interface\n"
    "      path, and the network entry.\n"
    "  status PORT [--require ITEMS] [--timeout MS] [--json]\n"
    "      Asks DLE EOT 1-4 and says what the answers tell. --require online,cover-closed,\n"
    "      paper-ok,drawer-closed turns it into a check. Input that was waiting is dropped\n"
    "      first.\n"
    "  identify PORT [--timeout MS] [--json]\n"
    "      Asks GS I 1-3 and 65-69 and shows the answers.\n"
    "  send PORT (--text T | --hex H | --file F | --command C)... [--newline] [--chinese]\n"
    "       [--expect HEX | --expect-regex RE] [--read MS] [--timeout MS] [--json]\n"
    "      Sends each piece in the order given (C: cut, drawer, print-test, init), then\n"
    "      waits for an answer that matches, or shows what comes back for --read MS.\n"
    "  model-test PORT FAMILY|FILE [--json]\n"
    "      Sends a model test file as the window's Test page does: a line every 30 ms,\n"
    "      then a closing feed. FAMILY: pos-thermal, pos-impact, portable-thermal,\n"
    "      portable-impact, micro-thermal, micro-impact (their files are looked for in the\n"
    "      current folder, then in the data folder).\n"
    "  preview FILE -o receipt.png [--width 44|58|76|80] [--family F] [--json]\n"
    "      Draws an ESC/POS byte file as the virtual printer prints it, with no printer\n"
    "      and no display; further pages go to receipt-2.png and so on.\n"
    "  monitor PORT [--hex] [--jsonl] [--asb] [--for MS]\n"
    "      Shows what arrives, each block with its time, until Ctrl-C or for MS. --asb\n"
    "      switches automatic status back on (GS a 255, off again at the end) and decodes\n"
    "      it alongside.\n"
    "\n"
    "PORT: COM<n> or LPT<n> or USB<n> as listed, a device path, or tcp://ADDRESS[:PORT]\n"
    "(port 9100 unless given; the printer's web page on port 80 must answer first\n"
    "unless --no-probe).\n"
    "Serial line settings: --baud, --parity, --data, --stop, --flow, or --serial 9600,N,8,1.\n"
    "\n"
    "Exit status:\n"
    "  0    done; the printer is as required; the answer matched\n"
    "  1    the printer answered, but not as required (not ready, no match)\n"
    "  2    no answer within the time limit\n"
    "  3    the port cannot be opened (the message says why and what to do)\n"
    "  4    input or output failed midway (the message says how many bytes went out)\n"
    "  64   the command line is wrong\n"
    "  130  interrupted (Ctrl-C); the port is closed\n"
    "\n"
    "With --json, one JSON object goes to standard output: port, parameters, bytesSent,\n"
    "answer (hex), status or identity, timings in ms, exitCode; messages go to standard\n"
    "error. The port map ($QUILLON_PORT_MAP, else $XDG_CONFIG_HOME/Quillon/ports) and\n"
    "$QUILLON_DEV_ROOT, $QUILLON_SYSFS_ROOT apply as in the window.";

const QStringList kCommands = {"list",    "status",     "identify", "send",
                               "monitor", "model-test", "preview"};

// The options each command takes beside --json and --help.
const std::map<QString, std::set<QString>> kAllowed = {
    {"list", {}},
    {"status",
     {"require", "timeout", "baud", "parity", "data", "stop", "flow", "serial", "no-probe"}},
    {"identify", {"timeout", "baud", "parity", "data", "stop", "flow", "serial", "no-probe"}},
    {"send",
     {"text", "hex", "file", "command", "newline", "chinese", "expect", "expect-regex", "read",
      "timeout", "baud", "parity", "data", "stop", "flow", "serial", "no-probe"}},
    {"preview", {"o", "output", "width", "family"}},
    {"model-test", {"timeout", "baud", "parity", "data", "stop", "flow", "serial", "no-probe"}},
    {"monitor",
     {"hex", "jsonl", "asb", "for", "baud", "parity", "data", "stop", "flow", "serial",
      "no-probe"}},
};

struct Definitions {
    // send takes --hex with bytes; monitor takes it alone, to show what comes in hex.
    explicit Definitions(bool monitor = false)
        : hex(monitor ? QCommandLineOption("hex", "monitor: show the bytes in hexadecimal.")
                      : QCommandLineOption("hex",
                                           "send: hexadecimal bytes, \"1B 40\" or \"1b40\".\n"
                                           "monitor: --hex alone shows the bytes in hex.",
                                           "H")) {}

    QCommandLineOption help{{"h", "help"}, "Show this help and end."};
    QCommandLineOption version{{"v", "version"}, "Show the version and end."};
    QCommandLineOption json{"json", "Write one JSON object on standard output."};
    QCommandLineOption require{"require", "status: what must hold, comma-separated.", "ITEMS"};
    QCommandLineOption timeout{"timeout",
                               "How long to wait for the answer (status, identify: 1000;\n"
                               "send: 5000). A send also ends when the printer takes\n"
                               "nothing for this long (at least 5000).",
                               "MS"};
    QCommandLineOption read{"read", "send: show what comes back within MS after sending.", "MS"};
    QCommandLineOption text{"text",
                            "send: text, in windows-1252 (GB18030 with --chinese or a\n"
                            "Chinese locale).",
                            "T"};
    QCommandLineOption hex;
    QCommandLineOption jsonl{"jsonl", "monitor: one JSON object per block, a line each."};
    QCommandLineOption asb{"asb", "monitor: switch automatic status back on and decode it."};
    QCommandLineOption output{{"o", "output"}, "preview: the PNG to write.", "PNG"};
    QCommandLineOption width{"width", "preview: paper width, 44, 58, 76 or 80 (mm).", "MM"};
    QCommandLineOption family{"family",
                              "preview: the printer family (pos-thermal, pos-impact,\n"
                              "portable-thermal, portable-impact, micro-thermal,\n"
                              "micro-impact).",
                              "F"};
    QCommandLineOption forMs{"for", "monitor: end after MS.", "MS"};
    QCommandLineOption file{"file", "send: the bytes of a file, whole.", "F"};
    QCommandLineOption command{"command", "send: cut, drawer, print-test or init.", "C"};
    QCommandLineOption newline{"newline", "send: CR LF after each --text and --hex."};
    QCommandLineOption chinese{"chinese",
                               "send: each --text in GB18030 between FS & and FS . (the\n"
                               "printer's Chinese character mode)."};
    QCommandLineOption expect{"expect", "send: succeed once these bytes come back.", "HEX"};
    QCommandLineOption expectRegex{"expect-regex",
                                   "send: succeed once what comes back (as Latin-1 text)\n"
                                   "matches this regular expression.",
                                   "RE"};
    QCommandLineOption baud{"baud", "Serial: bits per second (default 9600).", "N"};
    QCommandLineOption parity{"parity", "Serial: N, O or E (default N).", "P"};
    QCommandLineOption data{"data", "Serial: data bits, 5 to 8 (default 8).", "N"};
    QCommandLineOption stop{"stop", "Serial: stop bits, 1 or 2 (default 1).", "N"};
    QCommandLineOption flow{"flow", "Serial: none, xon-xoff or rts-cts (default none).", "F"};
    QCommandLineOption noProbe{"no-probe",
                               "tcp://: connect to the raw port without asking for the\n"
                               "printer's web page (port 80) first."};
    QCommandLineOption serial{"serial", "Serial: all at once, as 9600,N,8,1 (flow none).", "TEXT"};

    std::vector<const QCommandLineOption*> All() const {
        return {&help, &version, &json,    &require, &timeout, &read,   &text,
                &hex,  &file,    &command, &newline, &chinese, &expect, &expectRegex,
                &baud, &parity,  &data,    &stop,    &flow,    &serial, &jsonl,
                &asb,  &forMs,   &output,  &width,   &family,  &noProbe};
    }
    void AddTo(QCommandLineParser& parser) const {
        for (const QCommandLineOption* option : All())
            parser.addOption(*option);
    }
};

// A whole number from 0 to `most`; false for anything else.
bool Number(const QString& text, int most, int& value) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0 || n > most)
        return false;
    value = n;
    return true;
}

// The serial options over the defaults; a problem names the option that is wrong.
bool ReadSerial(const QCommandLineParser& parser, const Definitions& d, SerialSettings& s,
                QString& problem) {
    if (parser.isSet(d.serial)) {
        const QByteArray text = parser.value(d.serial).toLatin1();
        // With four fields the reader gives stop bits 0 and the fourth field as the flow;
        // here the fourth field is the stop bits, and the flow stays none.
        int none = 0;
        const std::string_view fields(text.constData(), static_cast<std::size_t>(text.size()));
        if (text.count(',') != 3 ||
            !ParseSerialSettings(fields, &s.baudRate, &s.parity, &s.dataBits, &none, &s.stopBits)) {
            problem = QStringLiteral(
                          "--serial \"%1\" is no BAUD,PARITY,DATA,STOP text such "
                          "as 9600,N,8,1")
                          .arg(parser.value(d.serial));
            return false;
        }
        s.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(s.parity)));
    }
    if (parser.isSet(d.baud) && !Number(parser.value(d.baud), 4000000, s.baudRate)) {
        problem = QStringLiteral("--baud \"%1\" is no bit rate").arg(parser.value(d.baud));
        return false;
    }
    if (parser.isSet(d.parity)) {
        const QString p = parser.value(d.parity).toUpper();
        if (p != "N" && p != "O" && p != "E") {
            problem = QStringLiteral("--parity takes N, O or E");
            return false;
        }
        s.parity = p[0].toLatin1();
    }
    if (parser.isSet(d.data) && !Number(parser.value(d.data), 8, s.dataBits)) {
        problem = QStringLiteral("--data takes 5 to 8");
        return false;
    }
    if (parser.isSet(d.stop) && !Number(parser.value(d.stop), 2, s.stopBits)) {
        problem = QStringLiteral("--stop takes 1 or 2");
        return false;
    }
    if (parser.isSet(d.flow)) {
        const QString f = parser.value(d.flow);
        s.flow = f == "none"       ? kFlowNone
                 : f == "xon-xoff" ? kFlowXonXoff
                 : f == "rts-cts"  ? kFlowRtsCts
                                   : -1;
        if (s.flow < 0) {
            problem = QStringLiteral("--flow takes none, xon-xoff or rts-cts");
            return false;
        }
    }
    const bool parityOk = s.parity == 'N' || s.parity == 'O' || s.parity == 'E';
    if (s.baudRate < 1 || !parityOk || s.dataBits < 5 || s.dataBits > 8 || s.stopBits < 1 ||
        s.stopBits > 2) {
        problem = QStringLiteral("the serial settings %1,%2,%3,%4 are no line settings")
                      .arg(s.baudRate)
                      .arg(QChar::fromLatin1(s.parity))
                      .arg(s.dataBits)
                      .arg(s.stopBits);
        return false;
    }
    return true;
}

// The pieces of a send in the order they stand on the command line, which the parser does
// not keep across options. A value that looks like an option ("--text --hex") is a value.
std::vector<Piece> Pieces(const QStringList& arguments, const QCommandLineParser& parser,
                          const Definitions& d) {
    const std::map<QString, Piece::Kind> kinds = {{"text", Piece::Kind::kText},
                                                  {"hex", Piece::Kind::kHex},
                                                  {"file", Piece::Kind::kFile},
                                                  {"command", Piece::Kind::kCommand}};
    std::set<QString> takingValues;
    for (const QCommandLineOption* option : d.All()) {
        if (!option->valueName().isEmpty())
            takingValues.insert(option->names().constFirst());
    }
    std::map<QString, int> taken;
    std::vector<Piece> pieces;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--"))
            break;
        if (!argument.startsWith(QLatin1String("--")))
            continue;
        const QString name = argument.mid(2).section(u'=', 0, 0);
        const bool inline_ = argument.contains(u'=');
        if (const auto kind = kinds.find(name); kind != kinds.end()) {
            const QStringList values = parser.values(name);
            const int index = taken[name]++;
            if (index < values.size())
                pieces.push_back({kind->second, values[index]});
        }
        if (!inline_ && takingValues.count(name))
            ++i;
    }
    return pieces;
}

}  // namespace

QString HelpText(const QString& program) {
    QCommandLineParser parser;
    Definitions d;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    d.AddTo(parser);
    parser.addPositionalArgument("command",
                                 "list, status, identify, send, monitor, model-test or\npreview.");
    parser.addPositionalArgument("PORT", "The port (all but list).", "[PORT]");
    parser.addPositionalArgument("FAMILY|FILE", "model-test: the model test to run.",
                                 "[FAMILY|FILE]");
    QString text = parser.helpText();
    text.replace(QCoreApplication::applicationFilePath(), program);
    return text;
}

namespace {

Parsed ParseWith(const QStringList& arguments, bool monitor) {
    Parsed parsed;
    QCommandLineParser parser;
    const Definitions d(monitor);
    d.AddTo(parser);
    auto fail = [&parsed](const QString& problem) {
        parsed.action = Parsed::Action::kUsageError;
        parsed.problem = problem;
        return parsed;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(d.help)) {
        parsed.action = Parsed::Action::kHelp;
        return parsed;
    }
    if (parser.isSet(d.version)) {
        parsed.action = Parsed::Action::kVersion;
        return parsed;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(QStringLiteral(
            "no command given: list, status, identify, send, monitor, model-test or preview"));
    Options& o = parsed.options;
    o.command = positional[0];
    if (!kCommands.contains(o.command))
        return fail(QStringLiteral("\"%1\" is no command: list, status, identify, send, monitor, "
                                   "model-test or preview")
                        .arg(o.command));
    const bool wantsPort =
        o.command != QLatin1String("list") && o.command != QLatin1String("preview");
    const bool wantsModel = o.command == QLatin1String("model-test");
    const bool wantsFile = o.command == QLatin1String("preview");
    const qsizetype wanted = 1 + (wantsPort || wantsFile ? 1 : 0) + (wantsModel ? 1 : 0);
    if (positional.size() < wanted)
        return fail(wantsModel  ? QStringLiteral("model-test needs a PORT and a FAMILY or FILE")
                    : wantsFile ? QStringLiteral("preview needs a FILE")
                                : QStringLiteral("%1 needs a PORT").arg(o.command));
    if (positional.size() > wanted)
        return fail(QStringLiteral("\"%1\" is one argument too many").arg(positional.last()));
    if (wantsPort)
        o.port = positional[1];
    if (wantsModel)
        o.model = positional[2];
    if (wantsFile) {
        o.input = positional[1];
        o.output = parser.value(d.output);
        if (o.output.isEmpty())
            return fail(QStringLiteral("preview needs -o PNG"));
        o.family = parser.value(d.family);
        if (parser.isSet(d.width)) {
            o.widthMm = parser.value(d.width).toInt();
            if (!printer::IsPaperWidth(o.widthMm))
                return fail(QStringLiteral("--width takes 44, 58, 76 or 80"));
        }
    }
    const std::set<QString>& allowed = kAllowed.at(o.command);
    for (const QString& name : parser.optionNames()) {
        if (name != QLatin1String("json") && !allowed.count(name))
            return fail(QStringLiteral("%1 takes no --%2").arg(o.command, name));
    }
    o.json = parser.isSet(d.json);
    o.timeoutMs = o.command == QLatin1String("send") ? 5000 : 1000;
    if (parser.isSet(d.timeout) && !Number(parser.value(d.timeout), 3600000, o.timeoutMs))
        return fail(QStringLiteral("--timeout takes a number of ms up to 3600000"));
    if (parser.isSet(d.read) && !Number(parser.value(d.read), 3600000, o.readMs))
        return fail(QStringLiteral("--read takes a number of ms up to 3600000"));
    for (const QString& list : parser.values(d.require)) {
        for (const QString& item : list.split(u',', Qt::SkipEmptyParts))
            o.require << item.trimmed();
    }
    if (!monitor)
        o.pieces = Pieces(arguments, parser, d);
    o.hexView = monitor && parser.isSet(d.hex);
    o.jsonl = parser.isSet(d.jsonl);
    o.asb = parser.isSet(d.asb);
    o.probeWebPage = !parser.isSet(d.noProbe);
    if (parser.isSet(d.forMs) && !Number(parser.value(d.forMs), 86400000, o.forMs))
        return fail(QStringLiteral("--for takes a number of ms up to 86400000"));
    o.newline = parser.isSet(d.newline);
    o.chinese = parser.isSet(d.chinese);
    o.expectHex = parser.value(d.expect);
    o.expectRegex = parser.value(d.expectRegex);
    if (parser.isSet(d.expect) && parser.isSet(d.expectRegex))
        return fail(QStringLiteral("--expect and --expect-regex exclude each other"));
    QString problem;
    if (!ReadSerial(parser, d, o.serial, problem))
        return fail(problem);
    return parsed;
}

}  // namespace

Parsed ParseCommandLine(const QStringList& arguments) {
    // --hex takes a value for send and none for monitor: read the line as monitor's first
    // when it may be one.
    if (arguments.contains(QLatin1String("monitor"))) {
        Parsed parsed = ParseWith(arguments, true);
        if (parsed.options.command == QLatin1String("monitor"))
            return parsed;
    }
    return ParseWith(arguments, false);
}

}  // namespace quillon::cli
