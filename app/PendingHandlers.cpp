// Entries of the message table whose work belongs to features this window does not have
// yet: saving received data, the settings file, help and port-list refresh. Each is reached
// through the table already and deliberately does nothing visible until then.

#include "app/CQuillonDlg.h"

namespace quillon {

LRESULT CQuillonDlg::OnDeviceChange(WPARAM) {
    return 0;
}

void CQuillonDlg::OnSave() {}
void CQuillonDlg::OnModifyDirectory() {}
void CQuillonDlg::OnHelp() {}
void CQuillonDlg::OnSerialSettingChange() {}
void CQuillonDlg::OnNetworkPortChange() {}
void CQuillonDlg::LoadSettings() {}
void CQuillonDlg::SaveSettings() {}

void CQuillonDlg::ShowSerialParameters(const QString& parameterText) {
    // The serial lists take these parameters once they can read a parameter text.
    state_.port.serialParameterText = parameterText;
}

}  // namespace quillon
