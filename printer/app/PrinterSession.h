#pragma once
// The virtual printer shared by the receiving thread, the model thread and the window. The
// receiving thread only answers the real-time requests and puts the bytes into a bounded
// receive buffer, as a real printer does; the model thread, which the session owns, feeds
// them to the printer in slices, so that reading and modelling run side by side. One lock
// around all of it; answers kept for the connection whose data asked for them, a bounded
// log of the traffic.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "printer/VirtualPrinter.h"
#include "transport/platform/EventFd.h"

namespace quillon {

class PrinterSession {
  public:
    static constexpr size_t kMaxLogLines = 2000;
    // The receive buffer. A burst is read at the speed of the line only while the buffer can
    // take it: on two processors the writer and the reader of a fast loopback stream keep
    // both busy, and the model, which is about as fast as the line, mostly waits for them.
    // So the buffer takes a whole 64 MiB burst; it is mapped with huge pages, and only as
    // much of it is touched as a burst ever filled.
    static constexpr size_t kBufferSize = 64u << 20;
    // The most the model thread feeds in one go under the lock: some 10-20 microseconds, so
    // that the receiving thread and the window hardly ever wait for it.
    static constexpr size_t kSlice = 16u << 10;

    // Finished pages go to `pages`, from the model thread.
    PrinterSession(const printer::PrinterOptions& options, printer::VirtualPrinter::PageSink pages);
    ~PrinterSession();  // stops the model thread as Stop does
    PrinterSession(const PrinterSession&) = delete;
    PrinterSession& operator=(const PrinterSession&) = delete;

    // From the receiving thread: free space in the buffer for the next read (empty when the
    // buffer is full), then Received with what was read into its start from the connection
    // `source`, which gives the free space after it. Receive copies bytes in, waiting for
    // room when the buffer is full.
    std::span<uint8_t> ReceiveSpace();
    std::span<uint8_t> Received(int source, size_t size);
    void Receive(int source, const uint8_t* data, size_t size);
    // A pause in the data: the job ends once what came before the pause is modelled.
    void EndJob();
    // True while the receive buffer or the offline hold is full.
    bool Backlogged() const { return backlogged_; }
    // Answers not yet sent, each with the connection it goes to.
    std::vector<std::pair<int, std::string>> TakeAnswers();
    // Signalled when answers appear outside Receive (from the model thread or the window)
    // and when a full receive buffer has room again.
    int answersReadyFd() const { return answersReady_.fd(); }
    void ClearAnswersReady() { answersReady_.Reset(); }
    // Models what is already received unless the printer is offline, ends the open job and
    // stops the model thread; after the receiving thread has stopped.
    void Stop();

    // From the window.
    printer::PrinterState State();
    void SetState(const printer::PrinterState& state);
    std::deque<std::string> TakeLog();
    void Note(const std::string& line);

  private:
    // Consecutive bytes in the buffer from one connection, or a job end (`jobEnd`, no bytes).
    struct Run {
        int source;
        size_t size;
        bool jobEnd = false;
    };
    // The lock for everyone but the model thread, which lets them in after its current slice.
    class Turn {
      public:
        explicit Turn(PrinterSession& session);
        ~Turn();

      private:
        PrinterSession& session_;
        std::unique_lock<std::mutex> hold_;
    };

    void RunModel();
    // Feeds one slice of the oldest run; under the lock.
    void FeedSlice();
    std::span<uint8_t> FreeSpaceLocked();
    void UpdateBacklogged() { backlogged_ = used_ == kBufferSize || printer_.Backlogged(); }
    void OnAnswer(const uint8_t* bytes, size_t size);
    void Log(const char* direction, const uint8_t* bytes, size_t size);

    std::mutex lock_;
    std::atomic<int> waiting_{0};  // threads waiting for lock_ besides the model thread
    std::condition_variable turn_;
    printer::VirtualPrinter printer_;
    int source_ = 0;      // where answers go: the connection whose bytes are being handled
    int lastSource_ = 0;  // the connection that sent data last
    std::vector<std::pair<int, std::string>> answers_;
    bool newAnswers_ = false;
    std::atomic<bool> answersWaiting_{false};  // answers_ is not empty
    std::atomic<bool> backlogged_{false};
    std::deque<std::string> log_;
    EventFd answersReady_;

    // The buffer is a ring: `used_` bytes from `start_` on wait for the model, in `runs_`.
    void* mapped_ = nullptr;
    uint8_t* buffer_ = nullptr;
    size_t start_ = 0;
    size_t used_ = 0;
    std::deque<Run> runs_;
    bool stopping_ = false;
    std::condition_variable modelWake_;
    std::condition_variable room_;
    std::thread modelThread_;
};

}  // namespace quillon
