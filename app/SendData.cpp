// The one way the main window sends bytes: the send box, the file, the print test and the
// canned printer commands all come through here.

#include <cstdint>
#include <optional>
#include <vector>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "escpos/Commands.h"
#include "framework/Texts.h"
#include "pages/CDialog_ComCirculateSend.h"
#include "pages/CDialog_NetCirculateSend.h"
#include "resources/ResourceIds.h"
#include "transport/Conversions.h"

namespace quillon {

namespace {
// The controls that start another send; held while a send waits for its completion.
constexpr int kSendStarters[] = {IDC_BROWSE,    IDC_SEND,           IDC_PRINT_TEST,
                                 IDC_AUTO_SEND, IDC_FILE_AUTO_SEND, IDC_SEND_FILE};

template <std::size_t N>
QByteArray AsBytes(const std::uint8_t (&bytes)[N]) {
    return QByteArray(reinterpret_cast<const char*>(bytes), N);
}
}  // namespace

// One sender at a time. A file send and a model test run go out as many blocks; while one
// of them goes, no other send may start, so that nothing lands inside it (in a raster
// image, in the middle of a ticket). Every control that would start one is disabled: Send,
// Print Test, Browse and the file Send, the Auto Send boxes (unless ticked, so that they
// can be unticked), the Others page's commands and the model test buttons. An automatic
// re-send that falls due meanwhile waits until it has ended; nothing is dropped. Every
// other send is one block, which the port writes whole and in the order handed over.
// A new way of sending asks here before it hands anything to the port.
bool CQuillonDlg::SendMayStart() const {
    return !state_.send.fileJob.active() && !modelTestRunning_;
}

bool CQuillonDlg::SendInProgress() const {
    return state_.send.sendingInProgress || !SendMayStart();
}

void CQuillonDlg::DisableSendStarters() {
    for (const int id : kSendStarters) {
        // A ticked "Auto Send" stays usable so that it can be unticked.
        if ((id == IDC_AUTO_SEND || id == IDC_FILE_AUTO_SEND) && IsChecked(id))
            continue;
        EnableItem(id, false);
    }
}

void CQuillonDlg::ExclusiveSendEnded() {
    RefreshControlStates();
    // Each re-send that fell due goes now, from the event loop, as its timer would have.
    for (const int timer : std::exchange(state_.send.dueResends, {}))
        SetTimer(timer, 0);
}

void CQuillonDlg::HandOver(const char* data, qsizetype length, SendState::Role role) {
    if (length <= 0)
        return;
    NoteSent(data, length);
    if (const std::uint64_t id = transport_.Send(data, static_cast<int>(length)))
        state_.send.handedOver[id] = role;
}

void CQuillonDlg::HandOverFileRange(std::shared_ptr<const SharedFile> file, qint64 offset,
                                    qsizetype length) {
    if (length <= 0)
        return;
    if (sessionLog_)
        sessionLog_->TransmittedFile(file, offset, static_cast<std::size_t>(length));
    if (const std::uint64_t id =
            transport_.SendFile(std::move(file), offset, static_cast<std::size_t>(length)))
        state_.send.handedOver[id] = SendState::Role::kFilePiece;
}

std::optional<QByteArray> CQuillonDlg::BytesToSend(const QByteArray& text, int hex, int raw) {
    QByteArray data = text;
    // The line end follows the "HEX Send" box, not the hex argument. In hex it stands apart,
    // so that a last lone digit ("1B 4") is not read as the first of a pair with it.
    if (!raw && IsChecked(IDC_SEND_NEWLINE))
        data += IsChecked(IDC_HEX_SEND) ? QByteArrayLiteral(" 0D0A") : QByteArrayLiteral("\r\n");

    QByteArray bytes;
    if (hex) {
        std::vector<std::uint8_t> converted(static_cast<std::size_t>(data.size()) / 2 + 1);
        const int count =
            HexTextToBytes(std::string_view(data.constData(), data.size()), converted.data());
        if (count < 0) {
            if (state_.timers.autoSend) {
                SetChecked(IDC_AUTO_SEND, false);
                OnAutoSend();
            }
            if (state_.timers.fileAutoSend) {
                SetChecked(IDC_FILE_AUTO_SEND, false);
                OnFileAutoSend();
            }
            MessageBox(LoadString(language(), IDS_HEX_FAILED));
            return std::nullopt;
        }
        bytes = QByteArray(reinterpret_cast<const char*>(converted.data()), count);
    } else if (!raw && IsChecked(IDC_CHINESE_MODE)) {
        // The printer's Chinese character mode is switched on before the text and off after.
        bytes = AsBytes(escpos::kChineseModeOn) + data + AsBytes(escpos::kChineseModeOff);
    } else {
        bytes = data;
    }
    return bytes;
}

int CQuillonDlg::SendData(const QByteArray& text, int hex, int /*unused*/, int raw) {
    // A file send or a model test run holds the port (its controls are disabled; this
    // catches what comes another way).
    if (!SendMayStart())
        return 0;
    const std::optional<QByteArray> converted = BytesToSend(text, hex, raw);
    if (!converted)
        return 0;
    const QByteArray& bytes = *converted;
    // Nothing to write gives no completion report, so it must not wait for one either.
    if (bytes.isEmpty() || !state_.port.open)
        return 1;

    // "Send Completed." follows the port's report, once the bytes have gone out.
    if (!state_.timers.autoSend)
        SetItemText(IDC_FILE_LABEL, LoadString(language(), IDS_SENDING));
    // A send while only the file auto-send runs holds the send controls until it is written.
    if (!state_.timers.autoSend && state_.timers.fileAutoSend) {
        state_.send.sendingInProgress = 1;
        DisableSendStarters();
    }
    HandOver(bytes.constData(), bytes.size(), SendState::Role::kText);
    return 1;
}

void CQuillonDlg::SendToCyclePage(int start, int repeating) {
    CDialog* page = state_.port.kind == kPortNetwork  ? static_cast<CDialog*>(netCycle_.get())
                    : state_.port.kind == kPortSerial ? static_cast<CDialog*>(comCycle_.get())
                                                      : nullptr;
    if (page)
        page->SendMessage(UM_CYCLE_SEND, start, repeating);
}

CycleSendState CQuillonDlg::SendStateForCycle() const {
    if (cycleSendOverride_)
        return *cycleSendOverride_;
    return {state_.send.lastSendText,       IsChecked(IDC_HEX_SEND),
            IsChecked(IDC_SEND_NEWLINE),    IsChecked(IDC_CHINESE_MODE),
            ItemText(IDC_INTERVAL).toInt(), ItemText(IDC_NET_PORT).toInt()};
}

}  // namespace quillon
