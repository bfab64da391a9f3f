#include "tests/gui/GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>

#include "app/CQuillonDlg.h"
#include "framework/Messages.h"

namespace quillon {

int ScriptedPrompts::MessageBox(QWidget*, const QString& text, const QString& caption,
                                unsigned type) {
    boxes.push_back({text, caption, type});
    if (!(type & MB_YESNO))
        return IDOK;
    return boxAnswers.isEmpty() ? IDNO : boxAnswers.takeFirst();
}

QString ScriptedPrompts::OpenFile(QWidget*, const QString&, const QString&) {
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString ScriptedPrompts::ChooseFolder(QWidget*, const QString& title) {
    folderTitles << title;
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

bool ScriptedPrompts::OpenFolder(QWidget*, const QString& folder) {
    openedFolders << folder;
    return true;
}

std::unique_ptr<CQuillonDlg> OpenMainWindow(Language language,
                                            std::shared_ptr<ScriptedPrompts> prompts) {
    auto dialog = std::make_unique<CQuillonDlg>(language);
    dialog->SetPrompts(prompts ? prompts : std::make_shared<ScriptedPrompts>());
    dialog->Create();
    dialog->show();
    return dialog;
}

void Click(CDialog& dialog, int id) {
    if (auto* button = dialog.Item<QAbstractButton>(id))
        button->click();
}

void Choose(CDialog& dialog, int id, int index) {
    auto* combo = dialog.Item<QComboBox>(id);
    if (!combo || !combo->isEnabled())
        return;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void ChooseTab(CDialog& dialog, int id, int index) {
    if (auto* tabs = dialog.Item<QTabWidget>(id))
        tabs->tabBar()->setCurrentIndex(index);
}

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace quillon
