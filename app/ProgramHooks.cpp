#include "app/ProgramHooks.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTimer>
#include <csignal>
#include <memory>

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
        // A message box still open runs a loop of its own inside the handler that opened it,
        // which would keep the program until someone answers: it ends first, and none opens
        // any more.
        dialog.Prompts().EndAll();
        dialog.SendMessage(WM_CLOSE);
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

namespace {

// The window's title, language and a few texts, then `extra`, written in one go.
void WriteReport(CQuillonDlg& dialog, const QString& path, const QString& extra = {}) {
    QStringList tabs;
    const auto* tabWidget = dialog.Item<QTabWidget>(IDC_TABS);
    for (int i = 0; i < tabWidget->count(); ++i)
        tabs << tabWidget->tabText(i);
    QString report;
    report += "title=" + dialog.windowTitle() + "\n";
    report +=
        QStringLiteral("language=%1\n").arg(dialog.language() == Language::Chinese ? "zh" : "en");
    report += "visible=" + QString::number(dialog.isVisible() ? 1 : 0) + "\n";
    report += "port=" + dialog.ItemText(IDC_PORT) + "\n";
    report += "state=" + dialog.ItemText(IDC_PORT_STATE) + "\n";
    report += "tabs=" + tabs.join(u'|') + "\n";
    report += extra;
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(report.toUtf8());
        file.commit();
    }
}

// A control a script line names: "<id>" on the main window, "<page>:<id>" on a tab page
// (0 Com Cycle, 1 Net Cycle, 2 Test, 3 Others).
struct ScriptControl {
    CDialog* dialog = nullptr;
    int id = 0;
    QWidget* widget = nullptr;
};

ScriptControl FindControl(CQuillonDlg& main, const QString& word) {
    ScriptControl control;
    const QStringList parts = word.split(u':');
    bool isNumber = false;
    control.id = parts.last().toInt(&isNumber);
    if (!isNumber || parts.size() > 2)
        return control;
    control.dialog = &main;
    if (parts.size() == 2) {
        bool isPage = false;
        const int page = parts.first().toInt(&isPage);
        control.dialog = isPage ? main.Page(page) : nullptr;
    }
    control.widget = control.dialog ? control.dialog->GetDlgItem(control.id) : nullptr;
    return control;
}

// One line of a window script at a time, each from the event loop so that the window keeps
// working (reading, sending, painting) between them.
class WindowScript : public QObject {
  public:
    WindowScript(CQuillonDlg& dialog, QStringList lines, QString report)
        : QObject(&dialog), dialog_(dialog), lines_(std::move(lines)), report_(std::move(report)) {}

    void Next() {
        QTimer::singleShot(0, this, [this] { Step(); });
    }

  private:
    void Step() {
        if (line_ >= lines_.size())
            return Finish("done");
        const QString text = lines_[line_].trimmed();
        const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty() || words[0].startsWith(u'#')) {
            ++line_;
            return Next();
        }
        const QString verb = words[0];
        // Everything after the id (or after the time limit of "wait") is the argument.
        auto rest = [&](int skip) {
            QString tail = text;
            for (int i = 0; i < skip; ++i)
                tail = tail.section(u' ', 1, -1, QString::SectionSkipEmpty);
            return tail;
        };
        const ScriptControl found = FindControl(dialog_, words.value(1));
        QWidget* control = found.widget;
        if (verb == "report")
            return Report(words.mid(1)), Advance();
        if (!control)
            return Finish("no control on line " + QString::number(line_ + 1));
        if (verb == "click" || verb == "tick" || verb == "untick") {
            auto* button = qobject_cast<QAbstractButton*>(control);
            if (!button || !button->isEnabled())
                return Finish("not a usable button on line " + QString::number(line_ + 1));
            if (verb == "click" || button->isChecked() != (verb == "tick"))
                button->click();
            return Advance();
        }
        if (verb == "choose") {
            if (auto* tabs = qobject_cast<QTabWidget*>(control)) {
                for (int i = 0; i < tabs->count(); ++i) {
                    if (tabs->tabText(i) == rest(2)) {
                        // As a click on the tab does: the tab bar tells the window.
                        tabs->setCurrentIndex(i);
                        return Advance();
                    }
                }
                return Finish("no such tab on line " + QString::number(line_ + 1));
            }
            auto* combo = qobject_cast<QComboBox*>(control);
            const int index = combo ? combo->findText(rest(2)) : -1;
            if (index < 0 || !combo->isEnabled())
                return Finish("no such entry on line " + QString::number(line_ + 1));
            combo->setCurrentIndex(index);
            emit combo->activated(index);
            return Advance();
        }
        if (verb == "set") {
            found.dialog->SetItemText(found.id, rest(2));
            return Advance();
        }
        if (verb == "wait") {
            const int limit = words.value(2).toInt();
            if (!clock_.isValid())
                clock_.start();
            if (found.dialog->ItemText(found.id).contains(rest(3))) {
                clock_.invalidate();
                return Advance();
            }
            if (clock_.elapsed() > limit)
                return Finish("timed out on line " + QString::number(line_ + 1));
            QTimer::singleShot(20, this, [this] { Step(); });
            return;
        }
        Finish("unknown step on line " + QString::number(line_ + 1));
    }

    void Advance() {
        ++line_;
        Next();
    }

    // The report with the texts of the given controls, each on one line.
    void Report(const QStringList& ids) {
        QString extra;
        for (const QString& id : ids) {
            const ScriptControl found = FindControl(dialog_, id);
            const QString text = found.widget ? found.dialog->ItemText(found.id) : QString();
            extra += "item" + id + "=" + QString(text).replace(u'\n', QStringLiteral("\\n")) + "\n";
        }
        WriteReport(dialog_, report_, extra + "script=running\n");
    }

    void Finish(const QString& outcome) {
        QString extra;
        if (report_.isEmpty())
            return;
        // A finished script leaves its outcome after whatever its last report said.
        QFile previous(report_);
        if (previous.open(QIODevice::ReadOnly))
            extra = QString::fromUtf8(previous.readAll()).remove("script=running\n");
        QSaveFile file(report_);
        if (file.open(QIODevice::WriteOnly)) {
            file.write((extra + "script=" + outcome + "\n").toUtf8());
            file.commit();
        }
    }

    CQuillonDlg& dialog_;
    QStringList lines_;
    QString report_;
    int line_ = 0;
    QElapsedTimer clock_;
};

}  // namespace

void ReportWindowWhenShown(CQuillonDlg& dialog) {
    const QString path = qEnvironmentVariable("QUILLON_WINDOW_REPORT");
    if (path.isEmpty())
        return;
    // Runs from the modal loop, once the window is up.
    QTimer::singleShot(0, &dialog, [&dialog, path] { WriteReport(dialog, path); });
}

void RunWindowScript(CQuillonDlg& dialog) {
    QFile file(qEnvironmentVariable("QUILLON_WINDOW_SCRIPT"));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    auto* script = new WindowScript(dialog, lines, qEnvironmentVariable("QUILLON_WINDOW_REPORT"));
    script->Next();
}

}  // namespace quillon
