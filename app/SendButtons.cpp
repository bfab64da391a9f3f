// The send box and its buttons: Send, Clear, the text "Auto Send" and its interval.

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "framework/Format.h"
#include "framework/NarrowText.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

void CQuillonDlg::ShowTransmitCount() {
    SetItemText(IDC_TX_COUNT, Format(QStringLiteral("TX:%lu"), {state_.send.transmitCount}));
}

void CQuillonDlg::OnSend() {
    StoreSendText();
    const QString& text = state_.send.lastSendText;
    const bool hex = IsChecked(IDC_HEX_SEND);
    if (state_.port.open) {
        if (hex) {
            // Anything but hex digits and blanks fails the conversion and is reported there.
            SendData(text.toUtf8(), 1, 0, 0);
            return;
        }
        const std::optional<QByteArray> narrow = ToNarrowBytes(text, language());
        if (!narrow) {
            // Never a substitute in its place: the printer would print something else.
            const Language lang = language();
            const QString character = FirstUnencodable(text, lang);
            const QString codePage = QString::fromLatin1(NarrowCodePage(lang));
            MessageBox(character.isEmpty()
                           ? Format(Text(lang, "D148.unencodableAny"), {codePage})
                           : Format(Text(lang, "D148.unencodable"), {character, codePage}));
            return;
        }
        SendData(*narrow, 0, 0, 0);
        return;
    }
    // With the port closed the cycle page of the port kind sends to its targets.
    SendToCyclePage(1, 0);
}

void CQuillonDlg::OnAutoSend() {
    TimerState& timers = state_.timers;
    timers.autoSend = IsChecked(IDC_AUTO_SEND) ? 1 : 0;
    if (timers.autoSend && timers.sendInterval <= 0) {
        MessageBox(LoadString(language(), IDS_CYCLE_TIME));
        SetChecked(IDC_AUTO_SEND, false);
        timers.autoSend = 0;
        return;
    }
    // A re-send already waiting would go out after the box was unticked, or after a close.
    if (!timers.autoSend)
        KillTimer(kResendTextTimer);
    if (!state_.port.open) {
        state_.send.lastSendText = ItemText(IDC_SEND_TEXT);
        SendToCyclePage(timers.autoSend, 1);
    } else if (timers.autoSend) {
        OnSend();
    }
    RefreshControlStates();
}

void CQuillonDlg::OnClearSend() {
    if (IsChecked(IDC_HEX_SEND))
        state_.send.hexSendText.clear();
    else
        state_.send.charSendText.clear();
    SetItemText(IDC_SEND_TEXT, QString());
}

void CQuillonDlg::OnIntervalChange() {
    // The edit takes digits only, at most nine of them.
    state_.timers.sendInterval = ItemText(IDC_INTERVAL).toInt();
}

}  // namespace quillon
