// What follows a completed write: the TX counter, the next automatic send, the status
// label, the file's next piece, and the parallel port opened afresh; and the send timers.

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

LRESULT CQuillonDlg::OnTxDone(WPARAM wParam) {
    SendState& send = state_.send;
    const auto written = static_cast<qsizetype>(wParam);
    // The port reports its blocks in the order they were handed over.
    std::optional<SendState::HandedOver> block;
    if (!send.handedOver.empty()) {
        block = send.handedOver.front();
        send.handedOver.pop_front();
    }
    if (block && written < block->length)
        LogNote("TX-FAILED",
                Format(QStringLiteral("%lld of %lld bytes written"),
                       {static_cast<long long>(written), static_cast<long long>(block->length)}));
    // Every byte the port wrote counts, whichever send it belonged to.
    send.transmitCount += static_cast<std::uint32_t>(wParam);
    ShowTransmitCount();

    if (block && block->filePiece) {
        if (send.fileJob.active())
            FilePieceWritten(written);
    } else if (send.sendingInProgress) {
        send.sendingInProgress = 0;
        RefreshControlStates();
        SetItemText(IDC_FILE_LABEL, LoadString(language(), IDS_SEND_COMPLETED));
        SetTimer(kSendLabelTimer, 3000);
        if (IsChecked(IDC_FILE_AUTO_SEND))
            SetTimer(kFileTimer, state_.timers.sendInterval);
    } else if (IsChecked(IDC_AUTO_SEND)) {
        // The interval runs from the end of one write to the next send.
        SetTimer(kResendTextTimer, state_.timers.sendInterval);
    }

    // A parallel port is opened afresh after each write, once nothing handed over waits.
    if (state_.port.open && state_.port.kind == kPortParallel && send.handedOver.empty())
        ReopenParallel();
    return 0;
}

void CQuillonDlg::ReopenParallel() {
    const QString name = state_.port.selectedName;
    transport_.Close();
    if (transport_.OpenParallel(Handle(), name.toUtf8().constData()))
        return;
    // The port is gone: say so the way a failed open does, rather than send into nothing.
    LogNote("NOTE", QStringLiteral("the parallel port could not be opened again"));
    OnOpenClose();
    MessageBox(Format(LoadString(language(), IDS_OPEN_FAILED), {name}));
}

LRESULT CQuillonDlg::OnTimer(WPARAM wParam) {
    const int id = static_cast<int>(wParam);
    KillTimer(id);
    switch (id) {
        case kResendTextTimer:
            if (IsChecked(IDC_AUTO_SEND))
                OnSend();
            break;
        case kFileTimer:
            SetItemText(IDC_SAVE_DIR, state_.saveDirectory);
            if (IsChecked(IDC_FILE_AUTO_SEND) && state_.port.open && !state_.send.fileJob.active())
                OnSendFile();
            break;
        case kModelTestTimer:
            ContinueModelTest();
            break;
        case kPrinterQueryTimer:
            EndPrinterQuery();
            break;
        case kSendLabelTimer:
            // A send still running keeps its own word in the label.
            if (!SendInProgress())
                SetItemText(IDC_FILE_LABEL, state_.send.selectedFile);
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace quillon
