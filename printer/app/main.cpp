// quillon-printer: a virtual receipt printer on a pseudo-terminal and loopback TCP, with a
// window showing its paper, or --headless writing each page as a PNG.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <cstdio>
#include <iostream>
#include <memory>

#include "printer/app/AppOptions.h"
#include "printer/app/JobJournal.h"
#include "printer/app/Listeners.h"
#include "printer/app/PageWriter.h"
#include "printer/app/PortMapEntry.h"
#include "printer/app/PrinterSession.h"
#include "printer/app/PrinterWindow.h"
#include "printer/app/PtyPort.h"
#include "printer/app/ReceiveLoop.h"
#include "printer/app/RenderWorker.h"
#include "printer/app/StateCommands.h"
#include "printer/app/WindowTexts.h"
#include "printer/render/PageRenderer.h"
#include "transport/SerialPortNames.h"

using namespace quillon;

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the program the way closing its window does.
void QuitOnSignals(QCoreApplication& app) {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// Every client connection takes a descriptor: the soft limit (often 1024) goes up to what
// the system allows this process.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    AppOptions options;
    std::string error, help;
    if (!ParseOptions(argc, argv, options, error, help)) {
        (error.empty() ? std::cout : std::cerr)
            << (error.empty() ? help : "quillon-printer: " + error + "\n");
        return error.empty() ? 0 : 2;
    }
    // Before anything is registered or bound, so that a journal it cannot write leaves no trace.
    JobJournal journal;
    if (!options.journal.empty() && !journal.OpenFile(options.journal, error)) {
        std::cerr << "quillon-printer: " << error << "\n";
        return 1;
    }
    if (options.headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QGuiApplication> app;
    if (options.headless)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QuitOnSignals(*app);
    RaiseDescriptorLimit();

    PtyPort pty;
    if (!pty.Open(error)) {
        std::cerr << "quillon-printer: " << error << "\n";
        return 1;
    }
    PortMapEntry entry;
    const std::string mapFile = options.portMap.empty() ? PortMapPath() : options.portMap;
    if (!entry.Register(mapFile, options.comNumber, pty.path(), error)) {
        std::cerr << "quillon-printer: " << error << "\n";
        return 1;
    }
    std::string ports =
        "COM" + std::to_string(entry.number()) + " = " + pty.path() + " (" + mapFile + ")";
    std::vector<Listener> listeners;
    QJsonArray rawListening;
    QJsonValue httpListening = QJsonValue::Null;
    auto listen = [&](int port, bool http) {
        const int fd = ListenOn(options.address, port, error);
        if (fd >= 0) {
            listeners.push_back({fd, http});
            if (http)
                httpListening = port;
            else
                rawListening.append(port);
            ports += "\n" + std::string(http ? "HTTP " : "TCP ") + options.address + ":" +
                     std::to_string(port);
            return;
        }
        std::cerr << "quillon-printer: cannot listen on " << options.address << ":" << port << ": "
                  << error << "; going on without it\n";
    };
    listen(options.rawPorts[0], false);
    listen(options.rawPorts[1], false);
    listen(options.httpPort, true);

    const QString outDir = QString::fromStdString(options.outDir);
    if (options.headless && !QDir().mkpath(outDir)) {
        std::cerr << "quillon-printer: cannot create " << options.outDir << "\n";
        return 1;
    }
    PrinterWindow* window = nullptr;
    PrinterSession* pacing = nullptr;  // set before the first page is drawn
    // Headless, pages are encoded and written on a thread of their own; a page counts as
    // done once it is written, or handed to the window.
    std::unique_ptr<PageWriter> writer;
    if (options.headless)
        writer = std::make_unique<PageWriter>(outDir, [&](const DrawnPage& page) {
            journal.PageDrawn(page);
            pacing->PageDone();
        });
    auto renderer = std::make_unique<RenderWorker>(
        [&](const printer::Page& page, const QImage& image) {
            if (writer) {
                writer->Write(page, image);
                return;
            }
            QMetaObject::invokeMethod(window, "AddPage", Qt::QueuedConnection,
                                      Q_ARG(QImage, image));
            // The web API serves the page, as it does a headless printer's.
            journal.PageDrawn(
                {page.job, page.part, printer::EncodePng(image), image.size(), {}, {}});
            pacing->PageDone();
        },
        options.dropPagesWhenBehind,
        [&](const printer::Page& page) { journal.PageDropped(page.job, page.part); });
    PrinterSession session(options.printer,
                           [&](printer::Page&& page) { renderer->Submit(std::move(page)); });
    session.PacePages(options.dropPagesWhenBehind ? 0 : RenderWorker::kMaxWaiting);
    session.SetJournal(&journal);
    journal.Connected(0,
                      {{"id", 0}, {"kind", "pty"}, {"device", QString::fromStdString(pty.path())}});
    journal.OnNote([&session](const std::string& line) {
        std::cerr << "quillon-printer: " + line + "\n" << std::flush;
        session.Note(line);
    });
    if (!options.warning.empty()) {
        std::cerr << "quillon-printer: " << options.warning << "\n";
        session.Note(options.warning);
    }
    pacing = &session;
    std::unique_ptr<PrinterWindow> windowOwner;
    if (!options.headless) {
        windowOwner = std::make_unique<PrinterWindow>(session, QString::fromStdString(ports));
        window = windowOwner.get();
        window->SetRenderWorker(renderer.get());
        window->show();
    }
    const std::string title = Tr(PrinterText::kTitle).toStdString() + " (" +
                              printer::FamilyName(options.printer.family) + ", " +
                              std::to_string(options.printer.geometry.widthMm) + " mm, " +
                              std::to_string(options.printer.geometry.dots) + " dots at " +
                              std::to_string(options.printer.geometry.dpi) + " dpi)";
    ReceiveOptions receiving;
    receiving.idleMs = options.idleMs;
    receiving.webTimeoutMs = options.webTimeoutMs;
    receiving.rawIdleMs = options.dropIdleS * 1000;
    receiving.pageTitle = title;
    if (options.headless)
        receiving.note = [](const std::string& line) {
            std::cerr << "quillon-printer: " + line + "\n" << std::flush;
        };
    receiving.connected = [&journal](int id, int fd) {
        journal.Connected(id, DescribeSocket(id, fd));
    };
    ReceiveLoop loop(session, pty.fd(), pty.path(), std::move(listeners), receiving);
    loop.Start();
    // Lines on standard input change what the sensors see.
    if (fcntl(STDIN_FILENO, F_GETFD) >= 0)
        new StateCommands(session, STDIN_FILENO, app.get());
    if (options.readyJson) {
        const QJsonObject ready{
            {"com", QString("COM%1").arg(entry.number())},
            {"pty", QString::fromStdString(pty.path())},
            {"portMap", QString::fromStdString(mapFile)},
            {"address", QString::fromStdString(options.address)},
            {"tcp", rawListening},
            {"http", httpListening},
            {"pid", static_cast<qint64>(getpid())},
        };
        std::cout << QJsonDocument(ready).toJson(QJsonDocument::Compact).toStdString() << std::endl;
    } else {
        std::cout << "COM" << entry.number() << "=" << pty.path() << std::endl;
    }

    const int result = app->exec();
    loop.Stop();
    session.Stop();
    const long long skipped = renderer->Skipped();
    renderer.reset();  // draws what is still waiting while the window is still there
    writer.reset();    // and writes it
    if (skipped > 0)
        std::cerr << "quillon-printer: " << skipped
                  << " pages were not drawn because drawing fell behind the data\n";
    if (!entry.Remove(error))
        std::cerr << "quillon-printer: " << error << "\n";
    return result;
}
