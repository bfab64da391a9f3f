// The switches between ways of sending: hex or text in the send box, the file sent again
// and again, and a failed cycle run ending both automatic sends.

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

void CQuillonDlg::OnHexSend() {
    // Each mode keeps its own text, so switching back and forth loses nothing.
    SendState& send = state_.send;
    const QString shown = ItemText(IDC_SEND_TEXT);
    if (IsChecked(IDC_HEX_SEND)) {
        send.charSendText = shown;
        SetItemText(IDC_SEND_TEXT, send.hexSendText);
    } else {
        send.hexSendText = shown;
        SetItemText(IDC_SEND_TEXT, send.charSendText);
    }
    RefreshControlStates();
}

void CQuillonDlg::OnFileAutoSend() {
    TimerState& timers = state_.timers;
    timers.fileAutoSend = IsChecked(IDC_FILE_AUTO_SEND) ? 1 : 0;
    if (timers.fileAutoSend && timers.sendInterval <= 0) {
        MessageBox(LoadString(language(), IDS_CYCLE_TIME));
        SetChecked(IDC_FILE_AUTO_SEND, false);
        timers.fileAutoSend = 0;
        return;
    }
    if (!state_.port.open) {
        // In multiple mode this box starts and stops the cycle run of the send text.
        state_.send.lastSendText = ItemText(IDC_SEND_TEXT);
        SendToCyclePage(timers.fileAutoSend, 1);
    } else if (timers.fileAutoSend) {
        OnSendFile();
    }
    RefreshControlStates();
}

void CQuillonDlg::StopAutomaticSends() {
    if (IsChecked(IDC_AUTO_SEND)) {
        SetChecked(IDC_AUTO_SEND, false);
        OnAutoSend();
    }
    if (IsChecked(IDC_FILE_AUTO_SEND)) {
        SetChecked(IDC_FILE_AUTO_SEND, false);
        OnFileAutoSend();
    }
}

LRESULT CQuillonDlg::OnCycleFailed() {
    SetChecked(IDC_AUTO_SEND, false);
    OnAutoSend();
    SetChecked(IDC_FILE_AUTO_SEND, false);
    OnFileAutoSend();
    return 0;
}

}  // namespace quillon
