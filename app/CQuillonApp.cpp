#include "app/CQuillonApp.h"

#include <QComboBox>
#include <cstdio>

#include "app/CQuillonDlg.h"
#include "app/CommandLine.h"
#include "app/ProgramHooks.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {

// Whether the port named at start was found: the window then has it chosen. When it was
// not, says so on standard error with the ports there are.
bool StartPortListed(CQuillonDlg& dialog, const QString& name) {
    if (name.isEmpty() || dialog.ItemText(IDC_PORT).compare(name, Qt::CaseInsensitive) == 0)
        return true;
    QStringList entries;
    const auto* list = dialog.Item<QComboBox>(IDC_PORT);
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i);
    const QString message = QStringLiteral("quillon: there is no port %1; the ports are: %2\n")
                                .arg(name, entries.join(QStringLiteral(", ")));
    std::fputs(message.toLocal8Bit().constData(), stderr);
    return false;
}

}  // namespace

bool CQuillonApp::InitInstance() {
    CQuillonDlg dialog;
    mainWindow_ = &dialog;
    dialog.state().port.startPort = startPort_;
    CloseOnTerminationSignals(dialog);
    // The port list is filled before the window shows: a port named at start that is not
    // in it ends the program there, and nothing is chosen in its place.
    dialog.Create();
    if (StartPortListed(dialog, startPort_)) {
        ReportWindowWhenShown(dialog);
        RunWindowScript(dialog);
        dialog.DoModal();
    } else {
        exitCode_ = kUsageError;
    }
    mainWindow_ = nullptr;
    return false;
}

}  // namespace quillon
