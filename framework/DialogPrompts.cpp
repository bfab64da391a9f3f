#include "framework/DialogPrompts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "framework/Messages.h"

namespace quillon {

namespace {
std::shared_ptr<DialogPrompts>& Installed() {
    static std::shared_ptr<DialogPrompts> prompts = std::make_shared<QtPrompts>();
    return prompts;
}
}  // namespace

int QtPrompts::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                          unsigned type) {
    const QString title = caption.isEmpty() ? QCoreApplication::applicationName() : caption;
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(text);
    if (type & MB_ICONERROR)
        box.setIcon(QMessageBox::Critical);
    else if (type & MB_ICONQUESTION)
        box.setIcon(QMessageBox::Question);
    if (type & MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        return Run(box) == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    Run(box);
    return IDOK;
}

QString QtPrompts::OpenFile(QWidget* owner, const QString& filter, const QString& initialPath) {
    QFileDialog dialog(owner, QString(), initialPath, QtFileFilter(filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    return Run(dialog) == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString QtPrompts::ChooseFolder(QWidget* owner, const QString& title) {
    QFileDialog dialog(owner, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return Run(dialog) == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

int QtPrompts::Run(QDialog& dialog) {
    if (ending_)
        return QDialog::Rejected;
    open_.emplace_back(&dialog);
    const int result = dialog.exec();
    std::erase(open_, QPointer<QDialog>(&dialog));
    return result;
}

void QtPrompts::EndAll() {
    ending_ = true;
    for (const QPointer<QDialog>& dialog : open_)
        if (dialog)
            dialog->reject();
}

bool QtPrompts::OpenFolder(QWidget*, const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

std::shared_ptr<DialogPrompts> DefaultPrompts() {
    return Installed();
}

void SetDefaultPrompts(std::shared_ptr<DialogPrompts> prompts) {
    Installed() = prompts ? std::move(prompts) : std::make_shared<QtPrompts>();
}

QString QtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|', Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]);
    return filters.join(QStringLiteral(";;"));
}

}  // namespace quillon
