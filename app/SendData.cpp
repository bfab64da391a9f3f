// The one way the main window sends bytes: the send box, the file, the print test and the
// canned printer commands all come through here.

#include <cstdint>
#include <optional>
#include <vector>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "escpos/Commands.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "transport/Conversions.h"

namespace quillon {

namespace {
// The controls that start another send; held while a send waits for its completion.
constexpr int kSendStarters[] = {IDC_BROWSE, IDC_SEND, IDC_PRINT_TEST, IDC_AUTO_SEND,
                                 IDC_SEND_FILE};

template <std::size_t N>
QByteArray AsBytes(const std::uint8_t (&bytes)[N]) {
    return QByteArray(reinterpret_cast<const char*>(bytes), N);
}
}  // namespace

bool CQuillonDlg::SendInProgress() const {
    return state_.send.sendingInProgress || state_.send.fileJob.active();
}

void CQuillonDlg::DisableSendStarters() {
    for (const int id : kSendStarters) {
        // A ticked "Auto Send" stays usable so that it can be unticked.
        if (id != IDC_AUTO_SEND || !IsChecked(IDC_AUTO_SEND))
            EnableItem(id, false);
    }
}

void CQuillonDlg::HandOver(const char* data, qsizetype length, bool filePiece) {
    if (length <= 0)
        return;
    state_.send.handedOver.push_back({length, filePiece});
    NoteSent(data, length);
    transport_.Send(data, static_cast<int>(length));
}

void CQuillonDlg::HandOverFileRange(std::shared_ptr<const SharedFile> file, qint64 offset,
                                    qsizetype length) {
    if (length <= 0)
        return;
    state_.send.handedOver.push_back({length, true});
    if (sessionLog_)
        sessionLog_->TransmittedFile(file, offset, static_cast<std::size_t>(length));
    transport_.SendFile(std::move(file), offset, static_cast<std::size_t>(length));
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
    const std::optional<QByteArray> converted = BytesToSend(text, hex, raw);
    if (!converted)
        return 0;
    const QByteArray& bytes = *converted;
    // Nothing to write gives no completion report, so it must not wait for one either.
    if (bytes.isEmpty())
        return 1;

    if (!state_.timers.autoSend) {
        state_.send.sendingInProgress = 1;
        DisableSendStarters();
        SetItemText(IDC_FILE_LABEL, LoadString(language(), IDS_SENDING));
    }
    if (!state_.timers.fileAutoSend) {
        state_.send.sendingInProgress = 0;
        RefreshControlStates();
        SetItemText(IDC_FILE_LABEL, LoadString(language(), IDS_SEND_COMPLETED));
        SetTimer(kSendLabelTimer, 3000);
    }
    HandOver(bytes.constData(), bytes.size(), false);
    return 1;
}

}  // namespace quillon
