#include "app/ProgramHooks.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTimer>
#include <csignal>

#include "app/CQuillonDlg.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; the window's thread does the closing.
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

}  // namespace

void CloseOnTerminationSignals(CQuillonDlg& dialog) {
    if (signalPipe[0] < 0 &&
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &dialog);
    QObject::connect(notifier, &QSocketNotifier::activated, &dialog, [&dialog] {
        char byte;
        while (read(signalPipe[0], &byte, 1) > 0) {
        }
        dialog.SendMessage(WM_CLOSE);
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void ReportWindowWhenShown(CQuillonDlg& dialog) {
    const QString path = qEnvironmentVariable("QUILLON_WINDOW_REPORT");
    if (path.isEmpty())
        return;
    // Runs from the modal loop, once the window is up.
    QTimer::singleShot(0, &dialog, [&dialog, path] {
        QStringList tabs;
        const auto* tabWidget = dialog.Item<QTabWidget>(IDC_TABS);
        for (int i = 0; i < tabWidget->count(); ++i)
            tabs << tabWidget->tabText(i);
        QString report;
        report += "title=" + dialog.windowTitle() + "\n";
        report += QStringLiteral("language=%1\n")
                      .arg(dialog.language() == Language::Chinese ? "zh" : "en");
        report += "visible=" + QString::number(dialog.isVisible() ? 1 : 0) + "\n";
        report += "port=" + dialog.ItemText(IDC_PORT) + "\n";
        report += "state=" + dialog.ItemText(IDC_PORT_STATE) + "\n";
        report += "tabs=" + tabs.join(u'|') + "\n";
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(report.toUtf8());
            file.commit();
        }
    });
}

}  // namespace quillon
