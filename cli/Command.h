#pragma once
// What every command shares: its options, its outcome (exit code, one JSON object, short
// lines for a person, a message for standard error) and the opening of its port.

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <vector>

#include "cli/PortSession.h"
#include "cli/PortTarget.h"
#include "escpos/StatusReport.h"

namespace quillon::cli {

enum ExitCode : int {
    kExitOk = 0,             // done, ready, matched
    kExitNotAsRequired = 1,  // the printer answered, but not as required
    kExitNoAnswer = 2,       // no answer within the time limit
    kExitCannotOpen = 3,     // the port cannot be opened
    kExitIoFailure = 4,      // a write or the connection failed midway
    kExitUsage = 64,         // the command line is wrong (as sysexits' EX_USAGE)
    kExitInterrupted = 130,  // Ctrl-C or SIGTERM, as a shell reports SIGINT
};

// One piece of a send, in the order given.
struct Piece {
    enum class Kind { kText, kHex, kFile, kCommand };
    Kind kind;
    QString value;
};

struct Options {
    QString command;
    QString port;
    QString model;  // model-test: FAMILY or FILE
    // preview
    QString input;
    QString output;
    int widthMm = 0;  // 0: the family's own
    QString family;
    bool json = false;
    int timeoutMs = 1000;
    int readMs = 0;
    QStringList require;
    std::vector<Piece> pieces;
    bool newline = false;
    bool chinese = false;
    QString expectHex;
    QString expectRegex;
    SerialSettings serial;
    bool probeWebPage = true;  // off with --no-probe
    // monitor
    bool hexView = false;
    bool jsonl = false;
    bool asb = false;
    int forMs = -1;  // until interrupted
};

struct Result {
    int exitCode = kExitOk;
    QJsonObject json;
    QStringList lines;  // on standard output without --json
    QString message;    // on standard error
};

// Input that was waiting before a request belongs to an earlier asker: it is dropped once the
// port has been quiet this long (at most the limit in all).
constexpr auto kStaleQuiet = std::chrono::milliseconds(15);
constexpr auto kStaleLimit = std::chrono::milliseconds(300);

// The time since the program started, in ms.
qint64 ElapsedMs();
QString Hex(const Bytes& bytes);
// A status word as --require spells it: "cover-open" for coverOpen.
QString WordText(escpos::StatusWord word);
// Prints the outcome, the JSON object or the lines; the message always goes to stderr.
void Print(Result& result, bool json);

// Resolves and opens the port of `options`. False with `result` filled (exit 3, or 64 for a
// name that is no port name) when it cannot be had.
bool OpenPort(const Options& options, PortSession& session, PortTarget& target, Result& result);
// Fills `result` for a wait that did not end with kDone; `what` says what was waited for.
void WaitFailed(WaitEnd end, const QString& what, const PortSession& session, Result& result);

Result RunList(const Options& options);
Result RunStatus(const Options& options);
Result RunIdentify(const Options& options);
Result RunSend(const Options& options);
Result RunMonitor(const Options& options);
Result RunModelTest(const Options& options);
Result RunPreview(const Options& options);

}  // namespace quillon::cli
