// status and identify: the window's requests, the answers paired with them by the same
// decoder, and what they say.

#include <QJsonArray>
#include <span>

#include "cli/Command.h"
#include "escpos/AnswerDecoder.h"
#include "escpos/StatusReport.h"

namespace quillon::cli {

namespace {

using escpos::Answer;
using escpos::Request;

// The --require names, and the word of the report each asks for.
struct Requirement {
    const char* name;
    escpos::StatusWord word;
};
constexpr Requirement kRequirements[] = {
    {"online", escpos::StatusWord::kOnline},
    {"cover-closed", escpos::StatusWord::kCoverClosed},
    {"paper-ok", escpos::StatusWord::kPaperOk},
    {"drawer-closed", escpos::StatusWord::kDrawerClosed},
};

QJsonValue Item(const std::optional<bool>& item) {
    return item ? QJsonValue(*item) : QJsonValue();
}

// Sends `requests` after draining stale input, then collects answers until every request
// has one or the time is up. The answers found, in order.
struct Asked {
    std::vector<Answer> answers;
    Bytes received;
    WaitEnd end = WaitEnd::kDone;
    qint64 answerMs = 0;
    std::size_t bytesSent = 0;
};

Asked Ask(const Options& options, PortSession& session, std::span<const Request> requests) {
    session.DrainStale(kStaleQuiet, kStaleLimit);
    Bytes bytes;
    for (const Request request : requests) {
        const Bytes asking = escpos::RequestBytes(request);
        bytes.insert(bytes.end(), asking.begin(), asking.end());
    }
    const std::size_t count = requests.size();
    escpos::AnswerDecoder decoder;
    decoder.Sent(bytes.data(), bytes.size());
    Asked asked;
    const qint64 sentAt = ElapsedMs();
    session.Send(bytes);
    std::size_t seen = 0;
    std::size_t answered = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
    asked.end = session.WaitForAnswer(deadline, [&](const Bytes& received) {
        if (received.size() > seen) {
            decoder.Received(
                received.data() + seen, received.size() - seen, [&](const Answer& answer) {
                    asked.answers.push_back(answer);
                    if (answer.kind == Answer::Kind::kStatus || answer.kind == Answer::Kind::kText)
                        ++answered;
                });
            seen = received.size();
        }
        return answered >= count;
    });
    asked.answerMs = ElapsedMs() - sentAt;
    asked.received = session.Received();
    asked.bytesSent = bytes.size();
    return asked;
}

// Opens the port, asks and closes it again, noting what went out and came back in
// `result`. False, with `result` filled, when the port did not open.
bool OpenAndAsk(const Options& options, PortSession& session, std::span<const Request> requests,
                Result& result, Asked& asked) {
    PortTarget target;
    if (!OpenPort(options, session, target, result))
        return false;
    asked = Ask(options, session, requests);
    session.Close();
    result.json["bytesSent"] = static_cast<qint64>(asked.bytesSent);
    result.json["answer"] = Hex(asked.received);
    QJsonObject timings = result.json["timings"].toObject();
    timings["answerMs"] = asked.answerMs;
    result.json["timings"] = timings;
    return true;
}

}  // namespace

Result RunStatus(const Options& options) {
    Result result;
    for (const QString& name : options.require) {
        if (std::none_of(std::begin(kRequirements), std::end(kRequirements),
                         [&](const Requirement& r) { return name == QLatin1String(r.name); })) {
            result.exitCode = kExitUsage;
            result.message = QStringLiteral(
                                 "--require: \"%1\" is none of online, "
                                 "cover-closed, paper-ok, drawer-closed")
                                 .arg(name);
            return result;
        }
    }
    PortSession session;
    Asked asked;
    if (!OpenAndAsk(options, session, escpos::kStatusRequests, result, asked))
        return result;

    escpos::PrinterReport report;
    for (const Answer& answer : asked.answers)
        report.Apply(answer);
    const std::vector<escpos::StatusWord> words = escpos::Words(report);
    QStringList said;
    QJsonArray wordList;
    for (const escpos::StatusWord word : words) {
        said << WordText(word);
        wordList.append(said.last());
    }
    QJsonObject status;
    status["online"] = Item(report.online);
    status["coverOpen"] = Item(report.coverOpen);
    status["paperNearEnd"] = Item(report.paperNearEnd);
    status["paperOut"] = Item(report.paperOut);
    status["drawerOpen"] = Item(report.drawerOpen);
    status["errorOccurred"] = Item(report.errorOccurred);
    status["words"] = wordList;
    result.json["status"] = status;

    if (asked.end != WaitEnd::kDone) {
        WaitFailed(asked.end,
                   QStringLiteral("no answer to DLE EOT 1-4 within %1 ms").arg(options.timeoutMs),
                   session, result);
        if (!said.isEmpty())
            result.message += QStringLiteral(" (partly answered: %1)").arg(said.join(u' '));
        return result;
    }
    QJsonArray missing;
    for (const QString& name : options.require) {
        const auto* r = std::find_if(std::begin(kRequirements), std::end(kRequirements),
                                     [&](const Requirement& q) { return name == q.name; });
        if (std::find(words.begin(), words.end(), r->word) == words.end())
            missing.append(name);
    }
    result.json["required"] = QJsonArray::fromStringList(options.require);
    result.json["notMet"] = missing;
    result.lines << QStringLiteral("%1: %2").arg(result.json["port"].toString(), said.join(u' '));
    if (!missing.isEmpty()) {
        result.exitCode = kExitNotAsRequired;
        QStringList names;
        for (const QJsonValue& name : missing)
            names << name.toString();
        result.message = QStringLiteral("%1: not %2")
                             .arg(result.json["port"].toString(), names.join(QStringLiteral(", ")));
    }
    return result;
}

Result RunIdentify(const Options& options) {
    Result result;
    PortSession session;
    Asked asked;
    if (!OpenAndAsk(options, session, escpos::kIdentityRequests, result, asked))
        return result;

    escpos::PrinterIdentity found;
    for (const Answer& answer : asked.answers)
        found.Apply(answer);
    QJsonObject identity;
    auto number = [&](const char* name, const std::optional<std::uint8_t>& value) {
        if (value) {
            identity[name] = *value;
            result.lines << QStringLiteral("%1: 0x%2").arg(name).arg(*value, 2, 16, QChar(u'0'));
        }
    };
    auto text = [&](const char* name, const std::optional<std::string>& value) {
        if (value) {
            identity[name] =
                QString::fromLatin1(value->data(), static_cast<qsizetype>(value->size()));
            result.lines << QStringLiteral("%1: %2").arg(name, identity[name].toString());
        }
    };
    number("modelId", found.modelId);
    number("typeId", found.typeId);
    number("versionId", found.versionId);
    text("firmware", found.firmware);
    text("maker", found.maker);
    text("modelName", found.modelName);
    text("serialNumber", found.serialNumber);
    text("fonts", found.fonts);
    result.json["identity"] = identity;
    // A printer may leave some GS I requests unanswered; only silence is a failure.
    if (asked.end == WaitEnd::kTimeOut && !identity.isEmpty())
        return result;
    WaitFailed(asked.end, QStringLiteral("no answer to GS I within %1 ms").arg(options.timeoutMs),
               session, result);
    return result;
}

}  // namespace quillon::cli
