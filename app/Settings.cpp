// The window's side of "Quillon.ini": which control each line comes from and goes to.
// Lines that match nothing leave their control as it was.

#include <QComboBox>
#include <QRegularExpression>

#include "app/CQuillonDlg.h"
#include "app/SettingsFile.h"
#include "framework/Format.h"
#include "framework/IpAddressEdit.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {

enum SettingsLine : int {
    kPortLine = 0,
    kSerialLine = 1,
    kAddressLine = 2,
    kHexSendLine = 3,
    kHexShowLine = 4,
    kIntervalLine = 5,
    kSaveFolderLine = 6,
    kNewLineLine = 7,
    kChineseModeLine = 8,
    kDtrLine = 9,
    kRtsLine = 10,
    kPageAreaLine = 11,
};

constexpr std::pair<int, int> kCheckBoxLines[] = {
    {kHexSendLine, IDC_HEX_SEND},
    {kHexShowLine, IDC_HEX_SHOW},
    {kNewLineLine, IDC_SEND_NEWLINE},
    {kChineseModeLine, IDC_CHINESE_MODE},
    {kDtrLine, IDC_DTR},
    {kRtsLine, IDC_RTS},
};

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

bool IsAddress(const QString& text) {
    static const QRegularExpression address(
        QStringLiteral("^((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\\.){3}"
                       "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])$"));
    return address.match(text).hasMatch();
}

// What the interval field accepts: up to nine digits.
bool IsInterval(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{0,9}$"));
    return digits.match(text).hasMatch();
}

}  // namespace

void CQuillonDlg::LoadSettings() {
    const QByteArray bytes = ReadSettingsFile(SettingsFilePath());
    if (bytes.isEmpty())
        return;
    const SettingsText settings = ParseSettings(bytes, language());
    const QStringList& lines = settings.lines;
    const auto has = [&](int line) { return line < lines.size(); };

    if (has(kPortLine)) {
        const int index = Item<QComboBox>(IDC_PORT)->findText(lines[kPortLine], Qt::MatchExactly);
        if (index >= 0)
            SetCurSel(IDC_PORT, index);
    }
    if (has(kSerialLine)) {
        state_.port.serialParameterText = lines[kSerialLine];
        CombosFromSerialText();
    }
    if (has(kAddressLine) && IsAddress(lines[kAddressLine]))
        Item<IpAddressEdit>(IDC_IP_ADDRESS)->SetAddress(lines[kAddressLine]);
    for (const auto& [line, id] : kCheckBoxLines) {
        if (has(line))
            SetChecked(id, lines[line] == QStringLiteral("1"));
    }
    // The field's change handling takes the number from it.
    if (has(kIntervalLine) && IsInterval(lines[kIntervalLine]))
        SetItemText(IDC_INTERVAL, lines[kIntervalLine]);
    if (has(kSaveFolderLine)) {
        state_.saveDirectory = lines[kSaveFolderLine];
        SetItemText(IDC_SAVE_DIR, state_.saveDirectory);
    }
    if (has(kPageAreaLine))
        state_.pageArea = lines[kPageAreaLine] == QStringLiteral("1") ? 1 : 0;
    if (settings.hasSendTexts) {
        state_.send.charSendText = settings.charSendText;
        state_.send.hexSendText = settings.hexSendText;
    }
}

void CQuillonDlg::SaveSettings() {
    SerialTextFromCombos();
    SettingsText settings;
    settings.lines.resize(12);
    settings.lines[kPortLine] = ItemText(IDC_PORT);
    settings.lines[kSerialLine] = state_.port.serialParameterText;
    settings.lines[kAddressLine] = Item<IpAddressEdit>(IDC_IP_ADDRESS)->Address();
    for (const auto& [line, id] : kCheckBoxLines)
        settings.lines[line] = Flag(IsChecked(id));
    settings.lines[kIntervalLine] = QString::number(state_.timers.sendInterval);
    settings.lines[kSaveFolderLine] = state_.saveDirectory;
    settings.lines[kPageAreaLine] = Flag(state_.pageArea != 0);
    settings.charSendText = state_.send.charSendText;
    settings.hexSendText = state_.send.hexSendText;

    const QString path = SettingsFilePath();
    const QString error = WriteSettingsFile(path, FormatSettings(settings));
    // The old file is still whole; say why the new one is not there.
    if (!error.isEmpty())
        MessageBox(Format(Text(language(), "D148.settingsNotSaved"), {path, error}));
}

}  // namespace quillon
