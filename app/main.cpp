#include <QApplication>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/CQuillonApp.h"
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
    // --log writes the diagnostic log; --port NAME (or --port=NAME) starts with that entry
    // of the port list chosen, e.g. the virtual printer's COM port.
    QString startPort;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0)
            logEnabled = 1;
        else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc)
            startPort = QString::fromLocal8Bit(argv[++i]);
        else if (std::strncmp(argv[i], "--port=", 7) == 0)
            startPort = QString::fromLocal8Bit(argv[i] + 7);
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    CQuillonApp app;
    app.ChoosePortAtStart(startPort);
    app.InitInstance();
    LetWorkersEnd();
    return 0;
}
