#include "cli/Command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

#include "framework/OpenFailureText.h"

namespace quillon::cli {

namespace {

const Clock::time_point kStarted = Clock::now();

QJsonObject Parameters(const PortTarget& target) {
    QJsonObject parameters;
    if (target.kind == kPortSerial) {
        const SerialSettings& s = target.serial;
        parameters["baud"] = s.baudRate;
        parameters["parity"] = QString(QChar::fromLatin1(s.parity));
        parameters["data"] = s.dataBits;
        parameters["stop"] = s.stopBits;
        parameters["flow"] = s.flow == 0 ? "none" : s.flow == 1 ? "xon-xoff" : "rts-cts";
    } else if (target.kind == kPortNetwork) {
        parameters["address"] = QString::fromStdString(target.device);
        parameters["tcpPort"] = target.tcpPort;
        parameters["webPageProbed"] = target.probeWebPage;
    }
    return parameters;
}

}  // namespace

qint64 ElapsedMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - kStarted).count();
}

QString WordText(escpos::StatusWord word) {
    QString text;
    for (const char* c = escpos::WordName(word); *c; ++c) {
        if (*c >= 'A' && *c <= 'Z')
            text += u'-' + QChar::fromLatin1(static_cast<char>(*c - 'A' + 'a'));
        else
            text += QChar::fromLatin1(*c);
    }
    return text;
}

QString Hex(const Bytes& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() * 3));
    for (const std::uint8_t b : bytes) {
        if (!text.isEmpty())
            text += u' ';
        text += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

void Print(Result& result, bool json) {
    if (!result.message.isEmpty())
        std::fprintf(stderr, "quillon-cli: %s\n", result.message.toLocal8Bit().constData());
    if (json) {
        result.json["exitCode"] = result.exitCode;
        if (!result.message.isEmpty())
            result.json["message"] = result.message;
        QJsonObject timings = result.json["timings"].toObject();
        timings["totalMs"] = ElapsedMs();
        result.json["timings"] = timings;
        std::fputs(QJsonDocument(result.json).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
    } else {
        for (const QString& line : result.lines)
            std::printf("%s\n", line.toLocal8Bit().constData());
    }
    std::fflush(stdout);
}

bool OpenPort(const Options& options, PortSession& session, PortTarget& target, Result& result) {
    result.json["command"] = options.command;
    result.json["port"] = options.port;
    std::string problem;
    bool usage = false;
    target.serial = options.serial;
    target.probeWebPage = options.probeWebPage;
    if (!ResolvePort(options.port.toStdString(), target, problem, usage)) {
        result.exitCode = usage ? kExitUsage : kExitCannotOpen;
        result.message = QString::fromStdString(problem);
        return false;
    }
    result.json["port"] = QString::fromStdString(target.name);
    result.json["device"] = QString::fromStdString(target.device);
    result.json["parameters"] = Parameters(target);
    const OpenOutcome opened = session.Open(target);
    QJsonObject timings;
    timings["openMs"] = ElapsedMs();
    result.json["timings"] = timings;
    if (opened)
        return true;
    result.exitCode = kExitCannotOpen;
    // The window's English words for it, which say what to do.
    result.message = QString::fromStdString(target.name) +
                     " cannot be opened: " + OpenFailureCause(Language::English, opened);
    return false;
}

void WaitFailed(WaitEnd end, const QString& what, const PortSession& session, Result& result) {
    const QString port = result.json["port"].toString();
    switch (end) {
        case WaitEnd::kDone:
            return;
        case WaitEnd::kTimeOut:
            result.exitCode = kExitNoAnswer;
            result.message = port + QStringLiteral(": ") + what;
            return;
        case WaitEnd::kInterrupted:
            result.exitCode = kExitInterrupted;
            result.message = port + QStringLiteral(": interrupted; the port is closed");
            return;
        case WaitEnd::kClosed: {
            result.exitCode = kExitIoFailure;
            const int error = session.writeError();
            const QString cause = error != 0         ? ErrorText(error)
                                  : session.hungUp() ? QStringLiteral(
                                                           "the line hung up (the device "
                                                           "went away)")
                                                     : QStringLiteral(
                                                           "the printer closed the "
                                                           "connection");
            result.message = QStringLiteral("%1: %2 after %3 bytes went out")
                                 .arg(port, cause)
                                 .arg(session.written());
            return;
        }
    }
}

}  // namespace quillon::cli
