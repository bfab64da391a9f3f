// The one way the main window sends bytes: the send box, the file, the print test and the
// canned printer commands all come through here.

#include <cstdint>
#include <vector>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "transport/Conversions.h"

namespace quillon {

namespace {
// The controls that start another send; disabled while a send waits for its completion.
constexpr int kSendStarters[] = {IDC_BROWSE, IDC_SEND, IDC_PRINT_TEST, IDC_AUTO_SEND,
                                 IDC_SEND_FILE};
}  // namespace

void CQuillonDlg::EnableSendStarters(bool enabled) {
    for (const int id : kSendStarters)
        EnableItem(id, enabled);
}

int CQuillonDlg::SendData(const QByteArray& text, int hex, int /*unused*/, int raw) {
    QByteArray data = text;
    // The line end follows the "HEX Send" box, not the hex argument.
    if (!raw && IsChecked(IDC_SEND_NEWLINE))
        data += IsChecked(IDC_HEX_SEND) ? QByteArrayLiteral("0D0A") : QByteArrayLiteral("\r\n");

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
            return 0;
        }
        bytes = QByteArray(reinterpret_cast<const char*>(converted.data()), count);
    } else if (!raw && IsChecked(IDC_CHINESE_MODE)) {
        // The printer's Chinese character mode is switched on before the text and off after.
        bytes = QByteArrayLiteral("\x1C\x26") + data + QByteArrayLiteral("\x1C\x2E");
    } else {
        bytes = data;
    }

    if (!state_.timers.autoSend) {
        state_.send.sendingInProgress = 1;
        EnableSendStarters(false);
        SetItemText(IDC_FILE_LABEL, LoadString(language(), IDS_SENDING));
    }
    if (!state_.timers.fileAutoSend) {
        state_.send.sendingInProgress = 0;
        EnableSendStarters(true);
        SetItemText(IDC_FILE_LABEL, LoadString(language(), IDS_SEND_COMPLETED));
        SetTimer(kSendLabelTimer, 3000);
    }
    transport_.Send(bytes.constData(), static_cast<int>(bytes.size()));
    return 1;
}

}  // namespace quillon
