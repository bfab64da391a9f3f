#pragma once
// Helpers for driving dialogs by control id in offscreen Qt, and a prompts stand-in that
// records what the dialogs showed.

#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "framework/DialogPrompts.h"
#include "framework/Language.h"

namespace quillon {

class CDialog;
class CQuillonDlg;

// Records every prompt; file and folder questions get the queued answers (empty when none),
// and so do yes/no questions (IDNO when none).
class ScriptedPrompts : public DialogPrompts {
  public:
    struct Box {
        QString text;
        QString caption;
        unsigned type;
    };
    int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                   unsigned type) override;
    QString OpenFile(QWidget* owner, const QString& filter, const QString& initialPath) override;
    QString ChooseFolder(QWidget* owner, const QString& title) override;
    bool OpenFolder(QWidget* owner, const QString& folder) override;

    std::vector<Box> boxes;
    QStringList fileAnswers;
    QStringList folderAnswers;
    QStringList folderTitles;
    QStringList openedFolders;  // shown in the file manager (never really)
    QList<int> boxAnswers;
};

// Makes a folder the current one for the life of the object, as saving received data does;
// model test files and the day file are looked for there.
class ScopedCurrentFolder {
  public:
    explicit ScopedCurrentFolder(const std::string& folder)
        : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedCurrentFolder() { std::filesystem::current_path(old_); }
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

  private:
    std::filesystem::path old_;
};

// A main window initialised and shown offscreen, answering prompts through `prompts`.
std::unique_ptr<CQuillonDlg> OpenMainWindow(Language language,
                                            std::shared_ptr<ScriptedPrompts> prompts = nullptr);

// Clicks a button or check box as the user would (nothing happens while it is disabled).
void Click(CDialog& dialog, int id);
// Chooses an entry of a drop-down list as the user would.
void Choose(CDialog& dialog, int id, int index);
// Chooses a tab as the user would.
void ChooseTab(CDialog& dialog, int id, int index);
// Runs the event loop until done() holds or the limit passes; returns done().
bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace quillon
