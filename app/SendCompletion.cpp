// What follows a port's report on a block: the TX counter, the next automatic send, the
// status label, the file's next piece or the model test's next step, a failure said
// plainly, and the parallel port opened afresh; the printer holding the line; and the
// send timers.

#include <cstring>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

LRESULT CQuillonDlg::OnTxDone(WPARAM wParam, LPARAM lParam) {
    SendState& send = state_.send;
    // A report without its details (from no port of this window) counts what it says.
    SendReport report;
    if (lParam != 0)
        report = *reinterpret_cast<const SendReport*>(lParam);
    else
        report.outcome.count = report.length = static_cast<std::size_t>(wParam);
    // The block the report names, if the send it belonged to still waits for it.
    std::optional<SendState::Role> role;
    if (const auto found = send.handedOver.find(report.block); found != send.handedOver.end()) {
        role = found->second;
        send.handedOver.erase(found);
    }
    // Every byte the port wrote counts, whichever send it belonged to, but for the lines
    // of a model test.
    if (!report.quiet) {
        send.transmitCount += static_cast<std::uint32_t>(report.outcome.count);
        ShowTransmitCount();
    }
    if (report.outcome.failed() || report.outcome.count < report.length)
        LogNote("TX-FAILED",
                Format(QStringLiteral("%llu of %llu bytes written%s"),
                       {static_cast<unsigned long long>(report.outcome.count),
                        static_cast<unsigned long long>(report.length),
                        report.outcome.failed()
                            ? QStringLiteral(": ") +
                                  QString::fromLocal8Bit(std::strerror(report.outcome.error))
                            : QString()}));

    switch (role.value_or(SendState::Role::kText)) {
        case SendState::Role::kFilePiece:
            if (role && send.fileJob.active())
                FilePieceWritten(report.outcome);
            break;
        case SendState::Role::kModelLine:
        case SendState::Role::kModelFeed:
            ModelBlockWritten(*role, report);
            break;
        case SendState::Role::kText:
            // A report of a send that has ended (a failed file send's later pieces) was
            // said already, or no longer matters.
            if (!role)
                break;
            if (report.outcome.failed()) {
                ReportSendFailure(report.outcome.count, report.length, report.outcome.error);
                break;
            }
            if (send.sendingInProgress) {
                send.sendingInProgress = 0;
                RefreshControlStates();
                if (IsChecked(IDC_FILE_AUTO_SEND))
                    SetTimer(kFileTimer, state_.timers.sendInterval);
            }
            if (!state_.timers.autoSend && SendMayStart()) {
                SetItemText(IDC_FILE_LABEL, LoadString(language(), IDS_SEND_COMPLETED));
                SetTimer(kSendLabelTimer, 3000);
            }
            // The interval runs from the end of one write to the next send.
            if (IsChecked(IDC_AUTO_SEND))
                SetTimer(kResendTextTimer, state_.timers.sendInterval);
            break;
    }

    // A parallel port is opened afresh after each write, once nothing handed over waits.
    if (state_.port.open && state_.port.kind == kPortParallel && send.handedOver.empty())
        ReopenParallel();
    return 0;
}

void CQuillonDlg::ReportSendFailure(std::size_t written, std::size_t total, int error) {
    // The port is failing: nothing goes on sending into it by itself.
    StopAutomaticSends();
    state_.send.sendingInProgress = 0;
    SetItemText(IDC_FILE_LABEL, state_.send.selectedFile);
    RefreshControlStates();
    // A network port counts what went into the connection, not what the printer took.
    const Language lang = language();
    const char* key =
        state_.port.kind == kPortNetwork ? "D148.sendFailedNetwork" : "D148.sendFailed";
    MessageBox(Format(
        Text(lang, key),
        {state_.port.selectedName, static_cast<unsigned long long>(written),
         static_cast<unsigned long long>(total), QString::fromLocal8Bit(std::strerror(error))}));
}

LRESULT CQuillonDlg::OnTxHeld(WPARAM heldMs) {
    if (!state_.port.open)
        return 0;
    const Language lang = language();
    const int seconds = static_cast<int>(heldMs / 1000);
    // A serial printer holds the line with CTS or XOFF; any other just stops taking bytes.
    const char* key = state_.port.kind == kPortSerial ? "D148.holdingLine" : "D148.takingNothing";
    state_.port.holdText = heldMs == 0 ? QString() : Format(Text(lang, key), {seconds});
    ShowPortState();
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
    if (id == kFileTimer)
        SetItemText(IDC_SAVE_DIR, state_.saveDirectory);
    // A re-send that falls due while a file send or a model test run holds the port waits
    // for its end.
    if ((id == kResendTextTimer || id == kFileTimer) && !SendMayStart()) {
        state_.send.dueResends.insert(id);
        return 0;
    }
    switch (id) {
        case kResendTextTimer:
            if (IsChecked(IDC_AUTO_SEND))
                OnSend();
            break;
        case kFileTimer:
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
