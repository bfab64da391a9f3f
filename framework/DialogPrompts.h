#pragma once
// The one seam through which a dialog asks the user something or shows something outside
// itself: message boxes, the file-open dialog, the folder chooser and a folder shown in the
// file manager. Tests put an answering stand-in in its place.

#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

class QDialog;
class QWidget;

namespace quillon {

class DialogPrompts {
  public:
    virtual ~DialogPrompts() = default;
    // Shows text with one OK button (type: MB_OK, optionally with MB_ICONERROR), or asks
    // (MB_YESNO, optionally with MB_ICONQUESTION); an empty caption means the application's
    // name. Returns IDOK, or IDYES or IDNO.
    virtual int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                           unsigned type) = 0;
    // File-open dialog; filter in the "*.txt|*.txt|...||" form. Empty when cancelled.
    virtual QString OpenFile(QWidget* owner, const QString& filter, const QString& initialPath) = 0;
    // Folder chooser with the given title. Empty when cancelled.
    virtual QString ChooseFolder(QWidget* owner, const QString& title) = 0;
    // The program is closing: every prompt still open ends as if cancelled (a question as
    // "No"), and each one asked from now on is answered that way at once, so that no prompt
    // keeps the program running.
    virtual void EndAll() {}
    // Shows a folder in the desktop's file manager; false when it could not. A stand-in
    // that does not say otherwise shows nothing.
    virtual bool OpenFolder(QWidget* /*owner*/, const QString& /*folder*/) { return false; }
};

// The real dialogs of Qt.
class QtPrompts : public DialogPrompts {
  public:
    int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                   unsigned type) override;
    QString OpenFile(QWidget* owner, const QString& filter, const QString& initialPath) override;
    QString ChooseFolder(QWidget* owner, const QString& title) override;
    void EndAll() override;
    bool OpenFolder(QWidget* owner, const QString& folder) override;

  private:
    // Runs the dialog modally unless the program is closing; its exec() result.
    int Run(QDialog& dialog);

    bool ending_ = false;
    std::vector<QPointer<QDialog>> open_;  // innermost last
};

// What new dialogs use unless they are given their own: QtPrompts, or what a test installed.
std::shared_ptr<DialogPrompts> DefaultPrompts();
void SetDefaultPrompts(std::shared_ptr<DialogPrompts> prompts);

// Turns a filter of the "description|pattern|...||" form into Qt's "description (pattern);;".
QString QtFileFilter(const QString& filter);

}  // namespace quillon
