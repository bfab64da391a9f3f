// model-test: a model test file sent as the window's Test page sends it: each non-empty
// line on its own, a line with a double quote as its bytes and any other as hexadecimal
// text, a pause after each, then the closing feed.

#include <QFileInfo>
#include <QJsonArray>
#include <thread>

#include "app/ModelTestFile.h"
#include "cli/Command.h"
#include "transport/Conversions.h"

namespace quillon::cli {

namespace {

// The printer families in the order of the model test files, named as the virtual
// printer's --family names them.
const char* const kFamilies[kModelTestFiles] = {
    "pos-thermal",     "pos-impact",    "portable-thermal",
    "portable-impact", "micro-thermal", "micro-impact",
};

// The file a FAMILY or FILE argument names; empty with `problem` set when there is none.
QString ModelFile(const QString& which, QString& problem) {
    for (int model = 0; model < kModelTestFiles; ++model) {
        if (which == QLatin1String(kFamilies[model])) {
            const QString path = FindModelTestFile(model);
            if (path.isEmpty())
                problem = QStringLiteral(
                              "the model test file %1 of %2 is neither in the "
                              "current folder nor in the program's data folder")
                              .arg(ModelTestFileName(model), which);
            return path;
        }
    }
    if (!QFileInfo::exists(which))
        problem = QStringLiteral(
                      "\"%1\" is no printer family (pos-thermal, pos-impact, "
                      "portable-thermal, portable-impact, micro-thermal, "
                      "micro-impact) and no file")
                      .arg(which);
    return problem.isEmpty() ? which : QString();
}

Bytes LineBytes(const QByteArray& line, bool& ok) {
    ok = true;
    if (IsModelTextLine(line))
        return Bytes(line.begin(), line.end());
    Bytes bytes(static_cast<std::size_t>(line.size()) / 2 + 1);
    const int count = HexTextToBytes(std::string_view(line.constData(), line.size()), bytes.data());
    ok = count >= 0;
    bytes.resize(ok ? static_cast<std::size_t>(count) : 0);
    return bytes;
}

}  // namespace

Result RunModelTest(const Options& options) {
    Result result;
    result.json["command"] = options.command;
    result.json["port"] = options.port;
    QString problem;
    const QString path = ModelFile(options.model, problem);
    std::unique_ptr<ModelTestFile> file = path.isEmpty() ? nullptr : ModelTestFile::Open(path);
    if (!file) {
        result.exitCode = kExitUsage;
        result.message = problem.isEmpty()
                             ? QStringLiteral(
                                   "%1 cannot be read as a model test file (a regular "
                                   "file of at most 4 MiB)")
                                   .arg(path)
                             : problem;
        return result;
    }
    result.json["file"] = path;
    PortSession session;
    PortTarget target;
    if (!OpenPort(options, session, target, result))
        return result;

    QJsonArray skipped;
    int lineNumber = 0;
    int linesSent = 0;
    std::size_t handed = 0;
    WaitEnd end = WaitEnd::kTimeOut;  // the pause after a line ended as it should
    const qint64 started = ElapsedMs();
    QByteArray line;
    bool more = true;
    while (end == WaitEnd::kTimeOut) {
        more = file->NextLine(line);
        ++lineNumber;
        if (!more)
            line = QByteArray(kModelClosingFeedHex);
        if (!line.isEmpty()) {
            bool ok = true;
            const Bytes bytes = LineBytes(line, ok);
            if (ok) {
                session.Send(bytes);
                handed += bytes.size();
                linesSent += more ? 1 : 0;
            } else {
                // As in the window, a line that is no hexadecimal text is left out and the
                // run goes on.
                skipped.append(lineNumber);
                std::fprintf(stderr, "quillon-cli: %s line %d is no hexadecimal text; left out\n",
                             path.toLocal8Bit().constData(), lineNumber);
            }
        }
        if (!more)
            break;
        // The pause after each line; a port that fails or an interrupt ends it early.
        end = session.WaitForAnswer(Clock::now() + std::chrono::milliseconds(kModelLinePauseMs),
                                    [](const Bytes&) { return false; });
    }
    // Through the file: the run ends once the printer has taken all of it.
    if (end == WaitEnd::kTimeOut)
        end = session.WaitForSends(std::chrono::milliseconds(std::max(options.timeoutMs, 5000)));
    session.Close();
    result.json["linesSent"] = linesSent;
    result.json["skippedLines"] = skipped;
    result.json["bytesSent"] = static_cast<qint64>(session.written());
    QJsonObject timings = result.json["timings"].toObject();
    timings["runMs"] = ElapsedMs() - started;
    result.json["timings"] = timings;
    result.lines << QStringLiteral("%1: %2 lines of %3 sent, %4 bytes")
                        .arg(result.json["port"].toString())
                        .arg(linesSent)
                        .arg(path)
                        .arg(session.written());
    WaitFailed(end,
               QStringLiteral("the printer stopped taking data; at least %1 of %2 bytes "
                              "went out")
                   .arg(session.written())
                   .arg(handed),
               session, result);
    return result;
}

}  // namespace quillon::cli
