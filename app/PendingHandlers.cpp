// Entries of the message table whose work belongs to features this window does not have
// yet: opening and closing the port, sending, saving received data,
// the settings file, help, port-list refresh and the canned printer commands. Each is
// reached through the table already and deliberately does nothing visible until then.

#include "app/CQuillonDlg.h"

namespace quillon {

LRESULT CQuillonDlg::OnTxDone(WPARAM) {
    return 0;
}

LRESULT CQuillonDlg::OnNetClosed() {
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

LRESULT CQuillonDlg::OnDeviceChange(WPARAM) {
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
void CQuillonDlg::OnSave() {}
void CQuillonDlg::OnModifyDirectory() {}
void CQuillonDlg::OnHexSend() {}
void CQuillonDlg::OnFileAutoSend() {}
void CQuillonDlg::OnHelp() {}
void CQuillonDlg::OnPrintTest() {}
void CQuillonDlg::OnSerialSettingChange() {}
void CQuillonDlg::OnNetworkPortChange() {}
void CQuillonDlg::LoadSettings() {}
void CQuillonDlg::SaveSettings() {}

void CQuillonDlg::ShowSerialParameters(const QString& parameterText) {
    // The serial lists take these parameters once they can read a parameter text.
    state_.port.serialParameterText = parameterText;
}

}  // namespace quillon
