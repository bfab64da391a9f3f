// "Save Receive Data": the folder the user chose and the numbered files saved in it.

#include <QDir>
#include <cstring>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "app/ReceivedFile.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {
constexpr int kSavedLabelMs = 5000;
}  // namespace

void CQuillonDlg::OnSave() {
    // The folder the user chose; during a confirmation the label shows something else.
    QString folder = state_.saveDirectory;
    if (!folder.isEmpty()) {
        // A relative folder is taken from where the program is now, once: after the save
        // the current folder is the save folder, and the next save must not nest in it.
        folder = MakeRecordFolder(folder);
        if (folder.isEmpty()) {
            MessageBox(LoadString(language(), IDS_CREATE_LOG_FAILED));
            return;
        }
    } else {
        folder = QDir::currentPath() + u'/';
    }

    const QByteArray& data =
        IsChecked(IDC_HEX_SHOW) ? state_.receive.hexText : state_.receive.charText;
    const QDateTime now = QDateTime::currentDateTime();
    RecordWrite saved = WriteNewRecord(folder, now, data);
    if (saved.name.isEmpty()) {
        // Every number is taken: the last file goes only when the user says so.
        saved.name = RecordFileName(kRecordFiles - 1);
        const QString question = Format(Text(language(), "D148.overwriteRecord"), {saved.name});
        if (MessageBox(question, QString(), MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        saved.error = ReplaceRecord(folder + saved.name, now, data);
    }
    if (saved.error) {
        MessageBox(
            LoadString(language(), IDS_CREATE_LOG_FAILED) + u'\n' +
            Format(Text(language(), "D148.fileError"),
                   {folder + saved.name, QString::fromLocal8Bit(std::strerror(saved.error))}));
        return;
    }

    if (!state_.saveDirectory.isEmpty()) {
        state_.saveDirectory = folder;
        QDir::setCurrent(folder);
    }
    SetItemText(IDC_SAVE_DIR, Format(QStringLiteral("OK, %s saved"), {saved.name}));
    SetTimer(kFileTimer, kSavedLabelMs);
}

void CQuillonDlg::OnModifyDirectory() {
    QString folder = Prompts().ChooseFolder(this, LoadString(language(), IDS_CHOOSE_DIR));
    if (folder.isEmpty())
        return;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    state_.saveDirectory = folder;
    SetItemText(IDC_SAVE_DIR, folder);
}

}  // namespace quillon
