// Choosing a file and sending it whole, in pieces that show how far the send has come.

#include <QFileInfo>
#include <cstring>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "app/FileReading.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

void CQuillonDlg::OnBrowse() {
    const Language lang = language();
    const QString& selected = state_.send.selectedFile;
    const QString start =
        selected == LoadString(lang, IDS_NO_FILE) ? QString() : QFileInfo(selected).absolutePath();
    const QString path = Prompts().OpenFile(this, LoadString(lang, IDS_FILE_FILTER), start);
    if (path.isEmpty())
        return;
    state_.send.selectedFile = path;
    SetItemText(IDC_FILE_LABEL, path);
    RefreshControlStates();
}

void CQuillonDlg::OnSendFile() {
    SendState& send = state_.send;
    if (!SendMayStart())
        return;
    const Language lang = language();
    const QString& path = send.selectedFile;
    // Hex text is converted whole before anything goes; raw bytes are read as they go.
    const bool hex = IsChecked(IDC_HEX_SEND);
    FileReadResult file = ReadFileToSend(path, !hex);
    QString reason;
    switch (file.outcome) {
        case FileReadResult::kRead:
        case FileReadResult::kOpened:
            break;
        case FileReadResult::kFolder:
            reason = Format(Text(lang, "D148.fileFolder"), {path});
            break;
        case FileReadResult::kTooLarge: {
            const int limitMiB = static_cast<int>(kFileSendLimit >> 20);
            reason = Format(Text(lang, "D148.fileTooLarge"), {path, limitMiB, limitMiB});
            break;
        }
        case FileReadResult::kCannotOpen:
        case FileReadResult::kReadError:
            reason = Format(Text(lang, "D148.fileError"),
                            {path, QString::fromLocal8Bit(std::strerror(file.error))});
            break;
    }
    if (!reason.isEmpty()) {
        MessageBox(LoadString(lang, IDS_OPEN_FILE_FAILED) + u'\n' + reason);
        return;
    }
    if (file.outcome == FileReadResult::kOpened) {
        // A serial port takes each range read into memory, so its pieces keep the limit of
        // pieces held in memory; the other ports send theirs straight from the file.
        send.fileJob.StartFile(file.fd, file.size,
                               state_.port.kind == kPortSerial ? FileSendJob::kLargestPiece
                                                               : FileSendJob::kLargestFileRange);
    } else {
        // With "HEX Send" ticked the file holds hexadecimal text; a file is never wrapped.
        std::optional<QByteArray> bytes = BytesToSend(file.bytes, hex, 1);
        if (!bytes)
            return;
        send.fileJob.Start(std::move(*bytes));
    }
    // An empty file sends nothing.
    if (!send.fileJob.active())
        return;
    RefreshControlStates();
    ShowFileProgress();
    FeedFileSend();
}

void CQuillonDlg::FeedFileSend() {
    FileSendJob& job = state_.send.fileJob;
    while (const std::optional<FileSendPiece> piece = job.NextPiece()) {
        if (piece->file)
            HandOverFileRange(piece->file, piece->offset, piece->length);
        else
            HandOver(piece->bytes.data(), piece->bytes.size(), SendState::Role::kFilePiece);
    }
}

void CQuillonDlg::FilePieceWritten(const IoOutcome& outcome) {
    FileSendJob& job = state_.send.fileJob;
    if (outcome.failed()) {
        const auto written = static_cast<std::size_t>(job.written()) + outcome.count;
        const auto total = static_cast<std::size_t>(job.total());
        StopFileJob();
        ReportSendFailure(written, total, outcome.error);
        return;
    }
    switch (job.Written(static_cast<qsizetype>(outcome.count))) {
        case FileSendJob::Progress::kGoing:
            FeedFileSend();
            ShowFileProgress();
            break;
        case FileSendJob::Progress::kDone:
            EndFileSend();
            break;
        case FileSendJob::Progress::kStopped:
            StopFileSend(job.written(), job.total());
            break;
        case FileSendJob::Progress::kReadFailed:
            FileSendReadFailed();
            break;
    }
}

void CQuillonDlg::StopFileJob() {
    SendState& send = state_.send;
    send.fileJob.Stop();
    // Pieces still on their way are no longer waited for: their reports move nothing but
    // the TX counter, and cannot count towards a file send started after this one.
    std::erase_if(send.handedOver,
                  [](const auto& block) { return block.second == SendState::Role::kFilePiece; });
    ExclusiveSendEnded();
}

void CQuillonDlg::FileSendReadFailed() {
    const int error = state_.send.fileJob.readError();
    StopFileJob();
    SetItemText(IDC_FILE_LABEL, state_.send.selectedFile);
    MessageBox(LoadString(language(), IDS_OPEN_FILE_FAILED) + u'\n' +
               Format(Text(language(), "D148.fileError"),
                      {state_.send.selectedFile, QString::fromLocal8Bit(std::strerror(error))}));
}

void CQuillonDlg::ShowFileProgress() {
    const FileSendJob& job = state_.send.fileJob;
    const Language lang = language();
    SetItemText(IDC_FILE_LABEL, Format(Text(lang, "D148.fileProgress"),
                                       {LoadString(lang, IDS_SENDING),
                                        static_cast<unsigned long long>(job.written()),
                                        static_cast<unsigned long long>(job.total())}));
}

void CQuillonDlg::EndFileSend() {
    StopFileJob();
    SetItemText(IDC_FILE_LABEL, LoadString(language(), IDS_SEND_COMPLETED));
    SetTimer(kSendLabelTimer, 3000);
    if (IsChecked(IDC_FILE_AUTO_SEND))
        SetTimer(kFileTimer, state_.timers.sendInterval);
}

void CQuillonDlg::StopFileSend(qsizetype written, qsizetype total) {
    StopFileJob();
    SetItemText(IDC_FILE_LABEL, state_.send.selectedFile);
    MessageBox(
        Format(Text(language(), "D148.fileStopped"),
               {static_cast<unsigned long long>(written), static_cast<unsigned long long>(total)}));
}

}  // namespace quillon
