#include "pages/CycleStartSettings.h"

#include "framework/NarrowText.h"
#include "framework/OpenFailureText.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

CycleSettings CycleSettingsFrom(const CycleSendState& state, Language language, bool onePass) {
    CycleSettings settings;
    QString text = state.lastSendText;
    if (state.sendNewLine && !state.hexSend)
        text += QStringLiteral("\r\n");
    // Text the printer's code page cannot hold fails as unconvertible data does.
    const std::optional<QByteArray> bytes = ToNarrowBytes(text, language);
    settings.dataValid = bytes.has_value();
    if (bytes)
        settings.dataText = bytes->toStdString();
    settings.hex = state.hexSend;
    settings.chineseMode = state.chineseMode;
    settings.intervalMs = state.sendInterval;
    settings.onePass = onePass;
    settings.tcpPort = state.networkPort;
    return settings;
}

CycleTexts CycleTextsFor(Language language, int openFailedId) {
    CycleTexts texts;
    texts.openFailed = LoadString(language, openFailedId).toStdString();
    texts.openCause = [language](const OpenOutcome& outcome) {
        return OpenFailureCause(language, outcome).toStdString();
    };
    texts.hexFailed = LoadString(language, IDS_HEX_FAILED).toStdString();
    texts.sendFailed = Text(language, "D155.sendFailed").toStdString();
    texts.sentCount = Text(language, "D155.sentCount").toStdString();
    return texts;
}

}  // namespace quillon
