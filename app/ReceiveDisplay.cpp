// The receive display: every byte the port receives is counted and, unless paused, kept in
// both receive texts and shown in the receive area in the chosen view, characters or
// hexadecimal pairs. Pause, Clear, ReCount and the view switch work on what is kept.

#include <algorithm>

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "framework/WrappedTextView.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {

// Beyond this many lines in the receive area, the next byte empties it first.
constexpr qsizetype kLineLimit = 50000;
// A run of n bytes adds at most this many lines per byte, wrapped: it completes at most n + 3
// characters (the bytes held back before it complete theirs too), and a CR held back can put
// a line end before each.
constexpr qsizetype kMostLinesPerByte = 8;
constexpr char kTooLong[] =
    "***The Length of the Text is too long, Emptied Automatically !!!***\r\n";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Appends "%02X " of each byte: two upper-case digits and a blank, whatever the byte.
void AppendHex(QByteArray& text, const std::uint8_t* bytes, std::size_t count) {
    const qsizetype at = text.size();
    text.resize(at + 3 * static_cast<qsizetype>(count));
    char* out = text.data() + at;
    for (std::size_t i = 0; i < count; ++i) {
        *out++ = kHexDigits[bytes[i] >> 4];
        *out++ = kHexDigits[bytes[i] & 0x0F];
        *out++ = ' ';
    }
}

}  // namespace

LRESULT CQuillonDlg::OnRxByte(WPARAM wParam) {
    // Only the low 8 bits count: some ports widen a byte with its sign.
    const auto byte = static_cast<std::uint8_t>(wParam & 0xFF);
    ReceiveBytes(&byte, 1);
    return 0;
}

LRESULT CQuillonDlg::OnRxBlock(WPARAM wParam) {
    const auto& block = *reinterpret_cast<const ReceivedBlock*>(wParam);
    // Showing bytes never closes or reopens the port, so a block whose reader still
    // belongs to the port now does so for every one of its bytes.
    if (block.Live())
        ReceiveBytes(block.bytes, block.count);
    return 0;
}

void CQuillonDlg::ReceiveBytes(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0)
        return;
    NoteReceived(bytes, count);
    ReceiveState& received = state_.receive;
    if (state_.helpShown) {
        // Received data always shows: the help text gives way to it.
        ShowReceivedData();
        state_.helpShown = 0;
    }
    received.count += static_cast<std::uint32_t>(count);
    SetItemText(IDC_RX_COUNT,
                Format(QStringLiteral("RX:%lu"), {static_cast<unsigned long>(received.count)}));
    if (received.paused)
        return;

    // Each byte is shown as if it came alone, but in runs that cannot take the area past the
    // line limit, so that only the bytes near the limit are looked at one by one; the area
    // is drawn once for all of them.
    const bool hex = IsChecked(IDC_HEX_SHOW);
    auto show = [this](char16_t unit) { receive_->Append(unit); };
    std::size_t kept = 0;  // the receive texts keep the bytes from here on
    bool emptied = false;
    for (std::size_t i = 0; i < count;) {
        if (receive_->LineCount() > kLineLimit) {
            receive_->SetText(QString::fromLatin1(kTooLong));
            characters_.Reset();
            kept = i;
            emptied = true;
        }
        const std::size_t run = std::min<std::size_t>(
            count - i,
            std::max<qsizetype>(1, (kLineLimit - receive_->LineCount()) / kMostLinesPerByte));
        if (hex) {
            for (std::size_t j = i; j < i + run; ++j) {
                receive_->Append(kHexDigits[bytes[j] >> 4]);
                receive_->Append(kHexDigits[bytes[j] & 0x0F]);
                receive_->Append(u' ');
            }
        } else {
            characters_.Feed(bytes + i, run, show);
        }
        i += run;
    }
    if (emptied) {
        received.hexText.clear();
        received.charText.clear();
    }
    AppendHex(received.hexText, bytes + kept, count - kept);
    received.charText.append(reinterpret_cast<const char*>(bytes + kept),
                             static_cast<qsizetype>(count - kept));
    receive_->ShowAppended();
}

void CQuillonDlg::ShowReceivedData() {
    const ReceiveState& received = state_.receive;
    if (IsChecked(IDC_HEX_SHOW)) {
        receive_->SetText(QString::fromLatin1(received.hexText));
    } else {
        // The character view is read again from the first byte kept, so it is exactly
        // what the bytes would have shown had they come in this view.
        characters_.Reset();
        QString text;
        text.reserve(received.charText.size());
        characters_.Feed(reinterpret_cast<const std::uint8_t*>(received.charText.constData()),
                         static_cast<std::size_t>(received.charText.size()),
                         [&text](char16_t unit) { text.append(QChar(unit)); });
        receive_->SetText(text);
    }
    receive_->ShowAppended();
}

void CQuillonDlg::EmptyReceiveTexts() {
    state_.receive.hexText.clear();
    state_.receive.charText.clear();
    characters_.Reset();
}

void CQuillonDlg::OnHexShow() {
    ShowReceivedData();
}

void CQuillonDlg::OnPause() {
    int& paused = state_.receive.paused;
    paused = paused ? 0 : 1;
    SetItemText(IDC_PAUSE, LoadString(language(), paused ? IDS_CONTINUE : IDS_PAUSE));
}

void CQuillonDlg::OnClearReceive() {
    EmptyReceiveTexts();
    receive_->SetText({});
}

void CQuillonDlg::OnRecount() {
    state_.receive.count = 0;
    state_.send.transmitCount = 0;
    SetItemText(IDC_RX_COUNT, QStringLiteral("RX:0"));
    SetItemText(IDC_TX_COUNT, QStringLiteral("TX:0"));
}

}  // namespace quillon
