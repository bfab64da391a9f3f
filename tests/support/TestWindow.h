#pragma once
// A stand-in for a dialog: a thread of its own that handles messages one at a time.
// SendMessage from another thread blocks until the handler has run, as with a real window.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/SendReport.h"
#include "transport/Window.h"

namespace quillon {

struct ReceivedMessage {
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
};

class TestWindow : public Window {
  public:
    using Handler = std::function<LRESULT(unsigned, WPARAM, LPARAM)>;

    TestWindow();
    ~TestWindow() override;

    // Every message is recorded; the handler (if any) runs after recording, on the window thread.
    void SetHandler(Handler handler);
    // Runs fn on the window's thread and waits for it.
    void Invoke(const std::function<void()>& fn);
    // From now on the window is gone: messages are dropped and return 0.
    void Destroy();

    LRESULT SendMessage(unsigned message, WPARAM wParam, LPARAM lParam) override;
    void MessageBox(const std::string& text) override;

    std::vector<ReceivedMessage> Messages() const;
    std::vector<std::string> MessageBoxes() const;
    std::size_t Count(unsigned message) const;
    // The report of every UM_TX_DONE so far, in order.
    std::vector<SendReport> Reports() const;
    // How many blocks of received bytes were handed over; each is recorded as one
    // UM_RX_BYTE per byte.
    std::size_t BlockCount() const;
    // Bytes of every UM_RX_BYTE so far, low 8 bits of each.
    std::string ReceivedBytes() const;
    // Waits until pred() holds for the recorded messages, at most `limit`.
    bool WaitUntil(const std::function<bool()>& pred,
                   std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    bool OnWindowThread() const { return std::this_thread::get_id() == thread_.get_id(); }

  private:
    void Run();
    // Records a message; false once the window is gone. *handler is the handler to run.
    bool Record(unsigned message, WPARAM wParam, LPARAM lParam, Handler* handler);

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::deque<std::function<void()>> work_;
    bool gone_ = false;
    Handler handler_;
    std::vector<ReceivedMessage> messages_;
    std::vector<std::string> boxes_;
    std::vector<SendReport> reports_;
    std::size_t blocks_ = 0;
    std::thread thread_;
};

}  // namespace quillon
