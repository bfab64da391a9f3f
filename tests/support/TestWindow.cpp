#include "tests/support/TestWindow.h"

namespace quillon {

TestWindow::TestWindow() : thread_([this] { Run(); }) {}

TestWindow::~TestWindow() {
    Destroy();
    if (thread_.joinable()) {
        if (OnWindowThread())
            thread_.detach();
        else
            thread_.join();
    }
}

void TestWindow::Run() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return gone_ || !work_.empty(); });
        if (work_.empty())
            return;
        auto job = std::move(work_.front());
        work_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

void TestWindow::SetHandler(Handler handler) {
    std::lock_guard lock(lock_);
    handler_ = std::move(handler);
}

void TestWindow::Invoke(const std::function<void()>& fn) {
    if (OnWindowThread()) {
        fn();
        return;
    }
    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool done = false;
    {
        std::lock_guard lock(lock_);
        if (gone_)
            return;
        work_.push_back([&] {
            fn();
            std::lock_guard d(doneLock);
            done = true;
            doneSignal.notify_all();
        });
    }
    changed_.notify_all();
    std::unique_lock d(doneLock);
    doneSignal.wait(d, [&] { return done; });
}

void TestWindow::Destroy() {
    {
        std::lock_guard lock(lock_);
        gone_ = true;
    }
    changed_.notify_all();
}

bool TestWindow::Record(unsigned message, WPARAM wParam, LPARAM lParam, Handler* handler) {
    {
        std::lock_guard lock(lock_);
        if (gone_)
            return false;
        messages_.push_back({message, wParam, lParam});
        // The report lives only while the message is handled: keep a copy.
        if (message == UM_TX_DONE && lParam != 0)
            reports_.push_back(*reinterpret_cast<const SendReport*>(lParam));
        *handler = handler_;
    }
    changed_.notify_all();
    return true;
}

LRESULT TestWindow::SendMessage(unsigned message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    auto handle = [&] {
        Handler handler;
        if (Record(message, wParam, lParam, &handler) && handler)
            result = handler(message, wParam, lParam);
    };
    // A block of received bytes stands for one UM_RX_BYTE per byte, handled in order on
    // the window's thread, as long as the reader still belongs to the open port.
    auto handleBlock = [&] {
        const auto& block = *reinterpret_cast<const ReceivedBlock*>(wParam);
        {
            std::lock_guard lock(lock_);
            ++blocks_;
        }
        bool live = true;
        ForEachReceivedByte(
            block,
            [&](WPARAM byte) {
                Handler handler;
                live = Record(UM_RX_BYTE, byte, 0, &handler);
                if (live && handler)
                    handler(UM_RX_BYTE, byte, 0);
            },
            [&] { return live; });
    };
    {
        std::lock_guard lock(lock_);
        if (gone_)
            return 0;
    }
    if (message == UM_RX_BLOCK)
        Invoke(handleBlock);
    else
        Invoke(handle);
    return result;
}

std::vector<SendReport> TestWindow::Reports() const {
    std::lock_guard lock(lock_);
    return reports_;
}

std::size_t TestWindow::BlockCount() const {
    std::lock_guard lock(lock_);
    return blocks_;
}

void TestWindow::MessageBox(const std::string& text) {
    std::lock_guard lock(lock_);
    boxes_.push_back(text);
}

std::vector<ReceivedMessage> TestWindow::Messages() const {
    std::lock_guard lock(lock_);
    return messages_;
}

std::vector<std::string> TestWindow::MessageBoxes() const {
    std::lock_guard lock(lock_);
    return boxes_;
}

std::size_t TestWindow::Count(unsigned message) const {
    std::lock_guard lock(lock_);
    std::size_t n = 0;
    for (const auto& m : messages_)
        n += m.message == message;
    return n;
}

std::string TestWindow::ReceivedBytes() const {
    std::lock_guard lock(lock_);
    std::string bytes;
    for (const auto& m : messages_)
        if (m.message == UM_RX_BYTE)
            bytes.push_back(static_cast<char>(m.wParam & 0xFF));
    return bytes;
}

bool TestWindow::WaitUntil(const std::function<bool()>& pred,
                           std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace quillon
