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
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

QString QtPrompts::OpenFile(QWidget* owner, const QString& filter, const QString& initialPath) {
    return QFileDialog::getOpenFileName(owner, QString(), initialPath, QtFileFilter(filter));
}

QString QtPrompts::ChooseFolder(QWidget* owner, const QString& title) {
    return QFileDialog::getExistingDirectory(owner, title);
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
