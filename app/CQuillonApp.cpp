#include "app/CQuillonApp.h"

#include "app/CQuillonDlg.h"
#include "app/ProgramHooks.h"

namespace quillon {

bool CQuillonApp::InitInstance() {
    CQuillonDlg dialog;
    mainWindow_ = &dialog;
    dialog.state().port.startPort = startPort_;
    CloseOnTerminationSignals(dialog);
    ReportWindowWhenShown(dialog);
    RunWindowScript(dialog);
    dialog.DoModal();
    mainWindow_ = nullptr;
    return false;
}

}  // namespace quillon
