#include "framework/DialogWindow.h"

#include <QMetaObject>
#include <QThread>
#include <future>

#include "framework/CDialog.h"

namespace quillon {

namespace {

// Completes the caller's wait exactly once: with true after the work ran, or with false
// when the queued call is thrown away unrun (its dialog was destroyed first).
class Completion {
  public:
    ~Completion() {
        if (!done_)
            promise_.set_value(false);
    }
    void Finish(bool ran) {
        done_ = true;
        promise_.set_value(ran);
    }
    std::future<bool> Future() { return promise_.get_future(); }

  private:
    std::promise<bool> promise_;
    bool done_ = false;
};

}  // namespace

CDialog* DialogWindow::Current() const {
    std::lock_guard lock(lock_);
    return dialog_;
}

bool DialogWindow::Attached() const {
    return Current() != nullptr;
}

void DialogWindow::Detach() {
    std::lock_guard lock(lock_);
    dialog_ = nullptr;
}

bool DialogWindow::RunOnDialogThread(const std::function<void(CDialog&)>& work) {
    std::unique_lock lock(lock_);
    if (!dialog_)
        return false;
    if (QThread::currentThread() == dialog_->thread()) {
        CDialog* dialog = dialog_;
        lock.unlock();
        work(*dialog);
        return true;
    }
    auto completion = std::make_shared<Completion>();
    std::future<bool> ran = completion->Future();
    // Posted while the lock is held, so the dialog cannot be destroyed in between; its
    // destruction discards the posted call, which completes the wait with false.
    QMetaObject::invokeMethod(
        dialog_,
        [self = shared_from_this(), work, completion] {
            CDialog* dialog = self->Current();
            if (dialog)
                work(*dialog);
            completion->Finish(dialog != nullptr);
        },
        Qt::QueuedConnection);
    // From here on only the posted call owns the completion, so discarding it releases us.
    completion.reset();
    lock.unlock();
    return ran.get();
}

LRESULT DialogWindow::SendMessage(unsigned message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    RunOnDialogThread(
        [&](CDialog& dialog) { result = dialog.SendMessage(message, wParam, lParam); });
    return result;
}

void DialogWindow::MessageBox(const std::string& text) {
    RunOnDialogThread([&](CDialog& dialog) { dialog.MessageBox(QString::fromStdString(text)); });
}

}  // namespace quillon
