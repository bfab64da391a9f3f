// Which controls the user may use, decided in one place from the port state, the port
// kind, Multiple, the running automatic sends, the visible page and the cycle pages.

#include "app/CQuillonDlg.h"
#include "app/MultipleChoice.h"
#include "framework/Texts.h"
#include "pages/CDialog_OtherCommand.h"
#include "pages/Dialog_TestButton.h"
#include "resources/ResourceIds.h"

namespace quillon {

void CQuillonDlg::RefreshControlStates() {
    const bool open = state_.port.open != 0;
    const bool autoSend = state_.timers.autoSend != 0;
    const int kind = state_.port.kind;
    const bool single = CurSel(IDC_MULTIPLE) == kMultipleNo;
    const bool multiple = CurSel(IDC_MULTIPLE) == kMultipleYes;
    const bool area = state_.pageArea != 0;
    const bool cyclePage = state_.cyclePage != 0;
    // A cycle page of the selected kind has something ticked to send to.
    const bool targets = (state_.networkTargets && kind == kPortNetwork) ||
                         (state_.serialTargets && kind == kPortSerial);
    const bool sendAllowed = !autoSend && (open || targets);

    // A repeating cycle run (either Auto Send box, the port closed) holds the port choice.
    const bool repeating = autoSend || state_.timers.fileAutoSend != 0;
    EnableItem(IDC_PORT, !open && !repeating);
    EnableItem(IDC_BAUD,
               !open && kind == kPortSerial && (single || (multiple && state_.serialRowSelected)));
    for (int id : {IDC_PARITY, IDC_DATA_BITS, IDC_STOP_BITS, IDC_FLOW})
        EnableItem(id, IsItemEnabled(IDC_BAUD));
    EnableItem(IDC_NET_PORT, IsItemEnabled(IDC_PORT) && kind == kPortNetwork);
    EnableItem(IDC_OPEN_CLOSE, single);
    EnableItem(IDC_SEND_TEXT, (open && !autoSend) || (cyclePage && area && !autoSend && multiple));
    EnableItem(IDC_SEND, sendAllowed);
    EnableItem(IDC_PRINT_TEST, IsItemEnabled(IDC_SEND));
    EnableItem(IDC_CLEAR_SEND, IsItemEnabled(IDC_SEND_TEXT));
    EnableItem(IDC_HEX_SEND, IsItemEnabled(IDC_SEND_TEXT));
    // A ticked Auto Send box stays usable so that it can be unticked.
    EnableItem(IDC_AUTO_SEND, open || targets || IsChecked(IDC_AUTO_SEND));
    EnableItem(IDC_FILE_AUTO_SEND, open || targets || IsChecked(IDC_FILE_AUTO_SEND));

    // The interval drives both automatic sends, so it is fixed while either runs and
    // usable whenever one of them could be started. Browse (and with it the file Send)
    // needs an open port and is held while either automatic send runs: a file sent in
    // the middle of a text run would interleave with it and re-arm its timer.
    const bool eitherAutoTicked = IsChecked(IDC_AUTO_SEND) || IsChecked(IDC_FILE_AUTO_SEND);
    EnableItem(IDC_INTERVAL, !eitherAutoTicked && (IsItemEnabled(IDC_AUTO_SEND) ||
                                                   IsItemEnabled(IDC_FILE_AUTO_SEND)));
    EnableItem(IDC_BROWSE, open && !eitherAutoTicked);

    EnableItem(IDC_SEND_FILE, IsItemEnabled(IDC_BROWSE) &&
                                  state_.send.selectedFile != LoadString(language(), IDS_NO_FILE));
    const bool textOptions = IsItemEnabled(IDC_SEND_TEXT) && !IsChecked(IDC_HEX_SEND);
    EnableItem(IDC_CHINESE_MODE, textOptions);
    EnableItem(IDC_SEND_NEWLINE, textOptions);
    EnableItem(IDC_DTR, IsItemEnabled(IDC_BAUD));
    EnableItem(IDC_RTS, IsItemEnabled(IDC_BAUD));
    EnableItem(IDC_IP_ADDRESS, !open && kind == kPortNetwork && single);
    EnableItem(IDC_MULTIPLE, !open && (kind == kPortSerial || kind == kPortNetwork) &&
                                 !IsChecked(IDC_AUTO_SEND) && !IsChecked(IDC_FILE_AUTO_SEND));

    // A send the window waits for holds every control that would start another, and the
    // Others and Test pages send only while the port is open and nothing holds it.
    if (SendInProgress())
        DisableSendStarters();
    const int pagesMaySend = open && SendMayStart() ? 1 : 0;
    if (otherPage_)
        otherPage_->SendMessage(UM_ENABLE_COMMANDS, 0, pagesMaySend);
    if (testPage_)
        testPage_->SendMessage(UM_ENABLE_TESTS, 0, pagesMaySend);
}

}  // namespace quillon
