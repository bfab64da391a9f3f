#pragma once
// The Window a dialog hands to transports and workers. On the dialog's own thread a
// message is handled at once; from any other thread the caller blocks until the dialog's
// thread has handled it. Once the dialog is gone every call returns 0 without touching it,
// and a caller blocked on a message the dialog never got to is released.

#include <functional>
#include <memory>
#include <mutex>

#include "transport/Window.h"

namespace quillon {

class CDialog;

class DialogWindow : public Window, public std::enable_shared_from_this<DialogWindow> {
  public:
    explicit DialogWindow(CDialog* dialog) : dialog_(dialog) {}

    LRESULT SendMessage(unsigned message, WPARAM wParam, LPARAM lParam) override;
    void MessageBox(const std::string& text) override;

    // The dialog is going away: later calls do nothing and return 0.
    void Detach();
    bool Attached() const;

  private:
    // Runs work with the dialog on its thread and waits for it. False when the dialog was
    // gone before the work could run.
    bool RunOnDialogThread(const std::function<void(CDialog&)>& work);
    CDialog* Current() const;

    mutable std::mutex lock_;
    CDialog* dialog_;
};

}  // namespace quillon
