// send: text, hex, files and canned commands in the order given, then, when asked, an
// answer that matches or whatever comes back for a while.

#include <QFile>
#include <QRegularExpression>

#include "cli/Command.h"
#include "escpos/Commands.h"
#include "framework/Language.h"
#include "framework/NarrowText.h"
#include "transport/Conversions.h"

namespace quillon::cli {

namespace {

// A printer that takes nothing for this long while data waits has stopped taking it.
constexpr int kDefaultStallMs = 5000;

Bytes FromHex(const QString& text, bool& ok) {
    const QByteArray latin = text.toLatin1();
    Bytes bytes(static_cast<std::size_t>(latin.size()) / 2 + 1);
    const int count =
        HexTextToBytes(std::string_view(latin.constData(), latin.size()), bytes.data());
    ok = count >= 0 && !text.contains(QChar(u'\0'));
    bytes.resize(ok ? static_cast<std::size_t>(count) : 0);
    return bytes;
}

Bytes FromArray(const QByteArray& data) {
    return Bytes(data.begin(), data.end());
}

// The bytes of every piece, in order, or a usage error: nothing goes out unless all of it
// can.
bool Assemble(const Options& options, Bytes& out, QString& problem) {
    for (const Piece& piece : options.pieces) {
        Bytes bytes;
        bool ok = true;
        switch (piece.kind) {
            case Piece::Kind::kText: {
                // Printers take text in a narrow code page, as the window sends it: GB18030
                // in Chinese mode or with a Chinese locale, windows-1252 otherwise.
                const Language language =
                    options.chinese ? Language::Chinese : LanguageFromEnvironment();
                std::optional<QByteArray> text = ToNarrowBytes(piece.value, language);
                if (!text) {
                    ok = false;
                    problem = QStringLiteral("--text: \"%1\" has no place in %2")
                                  .arg(FirstUnencodable(piece.value, language),
                                       QString::fromLatin1(NarrowCodePage(language)));
                    break;
                }
                if (options.newline)
                    *text += "\r\n";
                bytes = FromArray(*text);
                if (options.chinese) {
                    // The printer's Chinese character mode on before the text, off after it.
                    bytes.insert(bytes.begin(), std::begin(escpos::kChineseModeOn),
                                 std::end(escpos::kChineseModeOn));
                    bytes.insert(bytes.end(), std::begin(escpos::kChineseModeOff),
                                 std::end(escpos::kChineseModeOff));
                }
                break;
            }
            case Piece::Kind::kHex:
                // The line end stands apart, so that a last lone digit is not paired with it.
                bytes = FromHex(
                    options.newline ? piece.value + QStringLiteral(" 0D0A") : piece.value, ok);
                if (!ok)
                    problem = QStringLiteral(
                                  "--hex \"%1\" is no hexadecimal text (pairs of "
                                  "digits 0-9 A-F, blanks between them allowed)")
                                  .arg(piece.value);
                break;
            case Piece::Kind::kFile: {
                QFile file(piece.value);
                if (!file.open(QIODevice::ReadOnly)) {
                    ok = false;
                    problem = QStringLiteral("--file %1: %2").arg(piece.value, file.errorString());
                    break;
                }
                bytes = FromArray(file.readAll());
                if (file.error() != QFileDevice::NoError) {
                    ok = false;
                    problem = QStringLiteral("--file %1: %2").arg(piece.value, file.errorString());
                }
                break;
            }
            case Piece::Kind::kCommand:
                if (piece.value == QLatin1String("cut")) {
                    bytes = FromHex(QString::fromLatin1(escpos::kCutPaperHex), ok);
                } else if (piece.value == QLatin1String("drawer")) {
                    bytes = FromHex(QString::fromLatin1(escpos::kOpenCashDrawerHex), ok);
                } else if (piece.value == QLatin1String("print-test")) {
                    bytes = FromArray(QByteArrayLiteral("Print test OK!\r\n"));
                } else if (piece.value == QLatin1String("init")) {
                    bytes = {0x1B, 0x40};
                } else {
                    ok = false;
                    problem = QStringLiteral(
                                  "--command \"%1\" is none of cut, drawer, "
                                  "print-test, init")
                                  .arg(piece.value);
                }
                break;
        }
        if (!ok)
            return false;
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return true;
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

}  // namespace

Result RunSend(const Options& options) {
    Result result;
    result.json["command"] = options.command;
    result.json["port"] = options.port;
    if (options.pieces.empty()) {
        result.exitCode = kExitUsage;
        result.message =
            QStringLiteral("send needs at least one --text, --hex, --file or --command");
        return result;
    }
    Bytes data;
    QString problem;
    Bytes expected;
    QRegularExpression pattern;
    bool ok = Assemble(options, data, problem);
    if (ok && !options.expectHex.isEmpty()) {
        expected = FromHex(options.expectHex, ok);
        if (!ok || expected.empty()) {
            ok = false;
            problem =
                QStringLiteral("--expect \"%1\" is no hexadecimal text").arg(options.expectHex);
        }
    }
    if (ok && !options.expectRegex.isEmpty()) {
        pattern.setPattern(options.expectRegex);
        ok = pattern.isValid();
        if (!ok)
            problem = QStringLiteral("--expect-regex: %1").arg(pattern.errorString());
    }
    if (!ok) {
        result.exitCode = kExitUsage;
        result.message = problem;
        return result;
    }

    PortSession session;
    PortTarget target;
    if (!OpenPort(options, session, target, result))
        return result;
    const bool expecting = !expected.empty() || !options.expectRegex.isEmpty();
    // An answer to something sent before must not pass for the answer to this send.
    if (expecting)
        session.DrainStale(kStaleQuiet, kStaleLimit);
    const qint64 sendingAt = ElapsedMs();
    session.Send(data);
    const WaitEnd sent = session.WaitForSends(
        std::chrono::milliseconds(std::max(options.timeoutMs, kDefaultStallMs)));
    const qint64 sentAt = ElapsedMs();
    result.json["bytesSent"] = static_cast<qint64>(session.written());
    QJsonObject timings = result.json["timings"].toObject();
    timings["sendMs"] = sentAt - sendingAt;
    if (sent != WaitEnd::kDone) {
        session.Close();
        result.json["timings"] = timings;
        WaitFailed(sent,
                   QStringLiteral("the printer stopped taking data; at least %1 of %2 bytes "
                                  "went out")
                       .arg(session.written())
                       .arg(data.size()),
                   session, result);
        return result;
    }

    WaitEnd answered = WaitEnd::kDone;
    if (expecting) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
        answered = session.WaitForAnswer(deadline, [&](const Bytes& received) {
            if (!expected.empty())
                return Contains(received, expected);
            const QString text = QString::fromLatin1(reinterpret_cast<const char*>(received.data()),
                                                     static_cast<qsizetype>(received.size()));
            return pattern.match(text).hasMatch();
        });
    }
    // --read: whatever else comes back in that time is shown too.
    if (options.readMs > 0 && answered == WaitEnd::kDone) {
        const auto until = Clock::now() + std::chrono::milliseconds(options.readMs);
        const WaitEnd read = session.WaitForAnswer(until, [](const Bytes&) { return false; });
        if (read != WaitEnd::kTimeOut)
            answered = read;
    }
    const Bytes received = session.Received();
    session.Close();
    timings["answerMs"] = ElapsedMs() - sentAt;
    result.json["timings"] = timings;
    result.json["answer"] = Hex(received);
    if (expecting)
        result.json["matched"] = answered == WaitEnd::kDone;
    result.lines
        << QStringLiteral("%1: sent %2 bytes").arg(result.json["port"].toString()).arg(data.size());
    if (!received.empty())
        result.lines
            << QStringLiteral("received %1 bytes: %2").arg(received.size()).arg(Hex(received));

    if (answered == WaitEnd::kTimeOut && !received.empty()) {
        result.exitCode = kExitNotAsRequired;
        result.message = QStringLiteral("%1: the answer did not match within %2 ms")
                             .arg(result.json["port"].toString())
                             .arg(options.timeoutMs);
        return result;
    }
    WaitFailed(answered, QStringLiteral("no answer within %1 ms").arg(options.timeoutMs), session,
               result);
    return result;
}

}  // namespace quillon::cli
