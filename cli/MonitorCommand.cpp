// monitor: what the printer sends, block by block with its time, until the user stops it or
// the time given is up. With --asb the printer's automatic status back is switched on and
// decoded alongside.

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

#include "cli/Command.h"
#include "escpos/AnswerDecoder.h"
#include "escpos/StatusReport.h"

namespace quillon::cli {

namespace {

using escpos::Answer;

// Printable ASCII as it is, anything else as \xNN, so that one block stays one line.
QString Printable(const Bytes& bytes) {
    QString text;
    for (const std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F && b != '\\')
            text += QChar::fromLatin1(static_cast<char>(b));
        else
            text += QStringLiteral("\\x") +
                    QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

QString AnswerWords(const Answer& answer) {
    switch (answer.kind) {
        case Answer::Kind::kAutomatic: {
            escpos::PrinterReport report;
            report.Apply(answer);
            QStringList words;
            for (const escpos::StatusWord word : escpos::Words(report))
                words << WordText(word);
            return QStringLiteral("status: ") + words.join(u' ');
        }
        case Answer::Kind::kFlowControl:
            return answer.bytes.size() == 1 && answer.bytes[0] == 0x13 ? QStringLiteral("XOFF")
                                                                       : QStringLiteral("XON");
        default:
            return {};
    }
}

}  // namespace

Result RunMonitor(const Options& options) {
    Result result;
    PortSession session;
    PortTarget target;
    if (!OpenPort(options, session, target, result))
        return result;
    // Text cannot be told from status by its bytes, so status is decoded only when this
    // monitor asked for it: --asb switches automatic status back on for every item.
    escpos::AnswerDecoder decoder;
    if (options.asb) {
        const Bytes asbOn = {0x1D, 0x61, 0xFF};
        decoder.Sent(asbOn.data(), asbOn.size());
        session.Send(asbOn);
    }

    const auto end = options.forMs >= 0 ? Clock::now() + std::chrono::milliseconds(options.forMs)
                                        : Clock::time_point::max();
    std::size_t total = 0;
    WaitEnd ended = WaitEnd::kDone;
    while (true) {
        ended = session.WaitForAnswer(end, [](const Bytes& received) { return !received.empty(); });
        const Bytes block = session.TakeReceived();
        if (!block.empty()) {
            total += block.size();
            const QDateTime now = QDateTime::currentDateTime();
            QStringList decoded;
            if (options.asb) {
                decoder.Received(block.data(), block.size(), [&](const Answer& answer) {
                    const QString words = AnswerWords(answer);
                    if (!words.isEmpty())
                        decoded << words;
                });
            }
            if (options.jsonl) {
                QJsonObject line;
                line["time"] = now.toUTC().toString(Qt::ISODateWithMs);
                line["ms"] = ElapsedMs();
                line["bytes"] = static_cast<qint64>(block.size());
                line["hex"] = Hex(block);
                line["decoded"] = QJsonArray::fromStringList(decoded);
                std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
                std::fputc('\n', stdout);
            } else {
                QString line = now.toString(QStringLiteral("HH:mm:ss.zzz  ")) +
                               (options.hexView ? Hex(block) : Printable(block));
                if (!decoded.isEmpty())
                    line += QStringLiteral("  [") + decoded.join(QStringLiteral("; ")) + u']';
                std::printf("%s\n", line.toLocal8Bit().constData());
            }
            std::fflush(stdout);
        }
        if (ended != WaitEnd::kDone)
            break;
    }
    if (options.asb && ended != WaitEnd::kClosed) {
        // The printer is left as it was found: automatic status back off again.
        session.Send({0x1D, 0x61, 0x00});
        session.WaitForSends(std::chrono::milliseconds(1000));
    }
    session.Close();
    result.json["bytesReceived"] = static_cast<qint64>(total);
    // Ctrl-C and the end of --for are how a monitor ends; a port that goes away is not.
    if (ended == WaitEnd::kClosed)
        WaitFailed(ended, {}, session, result);
    return result;
}

}  // namespace quillon::cli
