#include <QApplication>
#include <chrono>
#include <thread>

#include "app/CQuillonApp.h"
#include "app/CommandLine.h"
#include "transport/DiagnosticLog.h"
#include "transport/SessionLog.h"
#include "transport/WorkerThreads.h"

using namespace quillon;

namespace {

// Closed ports' workers end by themselves within moments, and the session log's writer once
// it has written its last lines; give them that moment, so none is still running while the
// process tears down its statics.
void LetWorkersEnd() {
    using namespace std::chrono_literals;
    for (int i = 0; i < 200 && (LiveWorkerCount() > 0 || LiveSessionWriters() > 0); ++i)
        std::this_thread::sleep_for(10ms);
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> answered = AnswerHelpOrVersion(argc, argv))
        return *answered;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    const std::optional<StartOptions> options = ReadStartOptions(QApplication::arguments());
    if (!options)
        return kUsageError;
    if (options->log)
        logEnabled = 1;
    CQuillonApp app;
    app.ChoosePortAtStart(options->port);
    app.InitInstance();
    LetWorkersEnd();
    return app.exitCode();
}
