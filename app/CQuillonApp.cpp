#include "app/CQuillonApp.h"

#include "app/CQuillonDlg.h"
#include "app/ProgramHooks.h"

namespace quillon {

bool CQuillonApp::InitInstance() {
    CQuillonDlg dialog;
    mainWindow_ = &dialog;
    CloseOnTerminationSignals(dialog);
    ReportWindowWhenShown(dialog);
    dialog.DoModal();
    mainWindow_ = nullptr;
    return false;
}

}  // namespace quillon
