#pragma once

// The application: runs the main window modally and ends when it closes.

namespace quillon {

class CQuillonDlg;

class CQuillonApp {
  public:
    // Shows the main window until it is closed; returns false, so that the application
    // ends without a message loop of its own.
    bool InitInstance();
    CQuillonDlg* mainWindow() const { return mainWindow_; }

  private:
    CQuillonDlg* mainWindow_ = nullptr;
};

}  // namespace quillon
