#pragma once

// The application: runs the main window modally and ends when it closes.

#include <QString>

namespace quillon {

class CQuillonDlg;

class CQuillonApp {
  public:
    // Shows the main window until it is closed; returns false, so that the application
    // ends without a message loop of its own.
    bool InitInstance();
    CQuillonDlg* mainWindow() const { return mainWindow_; }
    // The port list entry to choose at start instead of the one kept from last time.
    void ChoosePortAtStart(const QString& name) { startPort_ = name; }
    // The program's exit status: 0, or kUsageError when the port named at start is not in
    // the port list (the window was then never shown).
    int exitCode() const { return exitCode_; }

  private:
    CQuillonDlg* mainWindow_ = nullptr;
    QString startPort_;
    int exitCode_ = 0;
};

}  // namespace quillon
