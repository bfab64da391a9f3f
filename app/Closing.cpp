// Closing the window: keep the send text, close an open port, end the modal run; then
// stop the timers, release the port and drop the received data.

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "resources/ResourceIds.h"

namespace quillon {

void CQuillonDlg::StoreSendText() {
    const QString text = ItemText(IDC_SEND_TEXT);
    if (IsChecked(IDC_HEX_SEND))
        state_.send.hexSendText = text;
    else
        state_.send.charSendText = text;
    state_.send.lastSendText = text;
}

LRESULT CQuillonDlg::OnClose() {
    StoreSendText();
    SaveSettings();
    if (state_.port.open)
        OnOpenClose();
    EndDialog(IDCANCEL);
    return 0;
}

LRESULT CQuillonDlg::OnDestroy() {
    state_.send.dueResends.clear();
    EndModelTest();
    if (IsChecked(IDC_AUTO_SEND))
        KillTimer(kResendTextTimer);
    if (IsChecked(IDC_FILE_AUTO_SEND))
        KillTimer(kFileTimer);
    if (state_.port.open)
        transport_.Close();
    state_.receive.hexText.clear();
    state_.receive.charText.clear();
    return 0;
}

}  // namespace quillon
