// Entries of the message table whose work belongs to features this window does not have
// yet: opening and closing the port, sending and the canned printer commands. Each is
// reached through the table already and deliberately does nothing visible until then.

#include "app/CQuillonDlg.h"

namespace quillon {

LRESULT CQuillonDlg::OnTxDone(WPARAM) {
    return 0;
}

LRESULT CQuillonDlg::OnPrinterCommand(LPARAM) {
    return 0;
}

LRESULT CQuillonDlg::OnCycleFailed() {
    return 0;
}

LRESULT CQuillonDlg::OnModelTest(LPARAM) {
    return 0;
}

LRESULT CQuillonDlg::OnTimer(WPARAM id) {
    KillTimer(static_cast<int>(id));
    return 0;
}

void CQuillonDlg::OnOpenClose() {}
void CQuillonDlg::OnSend() {}
void CQuillonDlg::OnAutoSend() {}
void CQuillonDlg::OnClearSend() {}
void CQuillonDlg::OnBrowse() {}
void CQuillonDlg::OnSendFile() {}
void CQuillonDlg::OnIntervalChange() {}
void CQuillonDlg::OnHexSend() {}
void CQuillonDlg::OnFileAutoSend() {}
void CQuillonDlg::OnPrintTest() {}

}  // namespace quillon
