// The session log of the window's port: a file for every opened port, with what went out
// and came back and what happened to the port, written off the window's thread. Its path is
// in the state line's tooltip; "Session Log" on the Others page shows the folder. It is on
// unless QUILLON_SESSION_LOG=0; QUILLON_SESSION_LOG_MIB sets the folder's limit in MiB.

#include <cstdlib>

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "transport/SessionFolder.h"

namespace quillon {

namespace {

bool SessionLogOn() {
    const char* setting = std::getenv("QUILLON_SESSION_LOG");
    return !setting || std::string(setting) != "0";
}

SessionLogOptions SessionLogSettings() {
    SessionLogOptions options;
    options.folder = SessionFolder();
    if (const char* mib = std::getenv("QUILLON_SESSION_LOG_MIB")) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(mib, &end, 10);
        if (end != mib && *end == '\0' && value > 0 && value < (1ull << 40))
            options.limitBytes = value << 20;
    }
    return options;
}

}  // namespace

void CQuillonDlg::StartSessionLog(const QString& portName, const QString& openText) {
    EndSessionLog({});
    if (SessionLogOn()) {
        sessionLog_ = SessionLog::Start(SessionLogSettings(), portName.toStdString(),
                                        openText.toStdString(), Handle());
    }
    ShowSessionLogNote();
    if (sessionLog_ && !sessionLog_->Failure().empty())
        SaySessionLogFailed();
}

void CQuillonDlg::EndSessionLog(const QString& reason) {
    if (!sessionLog_)
        return;
    sessionLog_->End(reason.toStdString());
    lastSessionLog_ = QString::fromStdString(sessionLog_->Path());
    sessionLog_.reset();
    ShowSessionLogNote();
}

void CQuillonDlg::LogNote(const char* kind, const QString& text) {
    if (sessionLog_)
        sessionLog_->Note(kind, text.toStdString());
}

void CQuillonDlg::NoteSent(const char* data, qsizetype length) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    printerAnswers_.Sent(bytes, static_cast<std::size_t>(length));
    if (sessionLog_)
        sessionLog_->Transmitted(bytes, static_cast<std::size_t>(length));
}

void CQuillonDlg::NoteReceived(const std::uint8_t* bytes, std::size_t count) {
    if (sessionLog_)
        sessionLog_->Received(bytes, count);
    PrinterAnswered(bytes, count);
}

void CQuillonDlg::ShowSessionLogNote() {
    const Language lang = language();
    QString note;
    if (sessionLog_) {
        const QString failure = QString::fromStdString(sessionLog_->Failure());
        note = failure.isEmpty() ? Format(Text(lang, "D148.sessionLog"),
                                          {QString::fromStdString(sessionLog_->Path())})
                                 : Format(Text(lang, "D148.sessionLogNotWritten"), {failure});
    } else if (!SessionLogOn()) {
        note = Text(lang, "D148.sessionLogOff");
    } else if (!lastSessionLog_.isEmpty()) {
        note = Format(Text(lang, "D148.lastSessionLog"), {lastSessionLog_});
    }
    SetItemNote(IDC_PORT_STATE, note);
}

LRESULT CQuillonDlg::OnSessionLogFailed() {
    // A writer of a session that has ended since has nothing left to say.
    if (sessionLog_ && !sessionLog_->Failure().empty()) {
        ShowSessionLogNote();
        SaySessionLogFailed();
    }
    return 0;
}

void CQuillonDlg::SaySessionLogFailed() {
    // Once in a run of the program: the tooltip of the state line says it every time.
    if (sessionLogFailureSaid_)
        return;
    sessionLogFailureSaid_ = true;
    MessageBox(Format(Text(language(), "D148.sessionLogFailed"),
                      {QString::fromStdString(sessionLog_->Failure())}));
}

void CQuillonDlg::ShowSessionLogs() {
    const std::string folder = SessionFolder();
    // Before the first session there is nothing yet, but the folder shows where they go.
    MakeSessionFolder(folder);
    if (!Prompts().OpenFolder(this, QString::fromStdString(folder)))
        MessageBox(
            Format(Text(language(), "D156.folderNotShown"), {QString::fromStdString(folder)}));
}

}  // namespace quillon
