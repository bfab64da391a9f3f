#pragma once
// The virtual printer shared by the receiving thread, the model thread and the window. The
// receiving thread reads into a bounded receive buffer, as a real printer does, and answers
// the real-time requests there; the model thread, which the session owns, feeds the buffer
// to the printer in slices, so that reading and modelling run side by side. Answers go to
// the connection whose data asked for them; a bounded log keeps the traffic.
//
// Finished pages may be paced by whoever draws them: while a bounded number of them wait to
// be drawn, the model stops and the session counts as backlogged, so the receiving thread
// stops reading, as a printer whose buffer is full stops taking data. Real-time requests
// on the other connections are still answered at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "escpos/RealTimeScanner.h"
#include "printer/VirtualPrinter.h"
#include "transport/platform/EventFd.h"

namespace quillon {

class JobJournal;

class PrinterSession : private escpos::RealTimeScanner::Handler {
  public:
    static constexpr size_t kMaxLogLines = 2000;
    // The receive buffer. A burst is read at the speed of the line only while the buffer can
    // take it: on two processors the writer and the reader of a fast loopback stream (about
    // 1.6 GB/s) keep both busy, and the model, hardly faster than that on a processor of its
    // own, gets little time until the burst is in. So the buffer takes a whole 64 MiB burst;
    // that is also the most memory it ever holds, and an empty buffer starts over at its
    // beginning, so that light traffic touches little of it.
    static constexpr size_t kBufferSize = 64u << 20;
    // The most the model thread feeds in one go, some 10-20 microseconds: the window and a
    // real-time answer never wait longer for the printer.
    static constexpr size_t kSlice = 16u << 10;

    // Finished pages go to `pages`, from the model thread.
    PrinterSession(const printer::PrinterOptions& options, printer::VirtualPrinter::PageSink pages);
    ~PrinterSession();  // stops the model thread as Stop does
    PrinterSession(const PrinterSession&) = delete;
    PrinterSession& operator=(const PrinterSession&) = delete;

    // From the receiving thread, and only from it: free space in the buffer for the next
    // read (empty when the buffer is full), then Received with what was read into its start
    // from the connection `source`, which gives the free space after it; its real-time
    // requests are answered then, unless Scan has already seen the bytes. Receive copies
    // bytes in, waiting for room when the buffer is full.
    std::span<uint8_t> ReceiveSpace();
    std::span<uint8_t> Received(int source, size_t size, bool scanned = false);
    void Receive(int source, const uint8_t* data, size_t size);
    // Answers the real-time requests in bytes of `source` that reach the buffer only later.
    void Scan(int source, const uint8_t* data, size_t size);
    // A pause in the data: the job ends once what came before the pause is modelled.
    void EndJob();
    // The connection `source` has ended: a command it left unfinished ends once what it sent
    // is modelled, and its next bytes, should the number come again, start afresh.
    void EndConnection(int source);
    // True while the receive buffer is full or drawing is behind.
    bool Backlogged() const { return backlogged_ || drawingBehind_; }
    // True while bytes of the connection `source` wait in the buffer.
    bool Holds(int source);
    // True when the connection `source` is between jobs: none of its bytes wait, and nothing
    // has been printed since the last cut, not even a line not yet ended.
    bool BetweenJobs(int source);
    // Answers not yet sent, each with the connection it goes to.
    std::vector<std::pair<int, std::string>> TakeAnswers();
    // Signalled when answers appear outside Receive (from the model thread or the window)
    // and when a full receive buffer has room again.
    int answersReadyFd() const { return answersReady_.fd(); }
    void ClearAnswersReady() { answersReady_.Reset(); }
    // Models what is already received unless the printer is offline (a full buffer takes
    // well under a second; paced pages are still waited for, so whoever draws them must
    // still run), ends the open job and stops the model thread; after the receiving thread
    // has stopped.
    void Stop();

    // Pages handed on and not yet drawn: at most `most` before the model waits for drawing
    // (0: never waits). Set before the first byte arrives.
    void PacePages(size_t most) { mostPagesAhead_ = most; }
    // From whoever draws: a page handed on has been drawn and written.
    void PageDone();
    // Tells `journal` what happens to the printer, from now on; set before the first byte.
    void SetJournal(JobJournal* journal) { journal_ = journal; }
    JobJournal* Journal() const { return journal_; }

    // From the receiving thread: shuts a kicked drawer whose time is up; when to come again
    // (the far future while no drawer will shut). answersReadyFd is signalled when a kick
    // from the model thread brings that time forward.
    std::chrono::steady_clock::time_point Tick(std::chrono::steady_clock::time_point now);

    // From the window, the web page and the standard input: what a hand on the printer
    // changes (VirtualPrinter::SetState).
    printer::PrinterState State();
    void SetState(const printer::PrinterState& state, bool drawerByHand = false);
    std::deque<std::string> TakeLog();
    // The page being printed and not yet cut, once the printer has caught up with what it
    // received, when it has changed since `version` (which it then updates); empty pages
    // included, so that a page shown in progress can go once it is cut.
    std::optional<printer::Page> PageInProgress(uint64_t& version);
    void Note(const std::string& line);

  private:
    // Consecutive bytes in the buffer from one connection, or, with no bytes, the end of a
    // job or of a connection.
    struct Run {
        enum Kind { kBytes, kJobEnd, kConnectionEnd };
        int source;
        size_t size;
        Kind kind = kBytes;
    };

    // The real-time requests the receiving thread finds, carried out by the printer at once.
    void StatusRequest(int n) override;
    void DrawerPulse(int pin, int onMs) override;
    void HandOn(printer::Page&& page);
    void RunModel();
    // Feeds one slice of the oldest run, or ends a job; false when there is nothing to feed.
    bool FeedSlice();
    std::span<uint8_t> FreeSpaceLocked();
    void OnAnswer(const uint8_t* bytes, size_t size);
    void Log(const char* direction, const uint8_t* bytes, size_t size);

    // The printer, its answers and where they go. The model thread holds this lock one slice
    // at a time.
    std::mutex printerLock_;
    printer::VirtualPrinter printer_;
    int source_ = 0;  // where answers go: the connection whose bytes are being handled
    std::vector<std::pair<int, std::string>> answers_;
    bool newAnswers_ = false;
    std::atomic<bool> answersWaiting_{false};  // answers_ is not empty
    std::atomic<bool> online_{true};
    // When a kicked drawer shuts, so that the receiving thread need not take the printer's
    // lock to know.
    std::atomic<std::chrono::steady_clock::time_point> drawerShuts_{
        std::chrono::steady_clock::time_point::max()};
    EventFd answersReady_;

    // Only the receiving thread scans, so the scanners need no lock. Each connection has its
    // own, as a request may come in pieces.
    std::unordered_map<int, escpos::RealTimeScanner> scanners_;
    int scanSource_ = 0;

    // The buffer: a ring, `used_` bytes from `start_` on, in `runs_`. Its lock is only ever
    // held for a few bookkeeping steps.
    std::mutex bufferLock_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t start_ = 0;
    size_t used_ = 0;
    std::deque<Run> runs_;
    std::atomic<int> lastSource_{0};  // the connection that sent data last
    bool stopping_ = false;
    std::atomic<bool> backlogged_{false};
    // Pages handed on and not yet drawn; the model waits while drawingBehind_, which is set
    // at mostPagesAhead_ and cleared once drawing has caught up by half of that.
    size_t mostPagesAhead_ = 0;
    size_t pagesAhead_ = 0;
    std::atomic<bool> drawingBehind_{false};
    printer::VirtualPrinter::PageSink pages_;
    JobJournal* journal_ = nullptr;
    std::condition_variable modelWake_;
    std::condition_variable room_;
    std::thread modelThread_;

    std::mutex logLock_;
    std::deque<std::string> log_;
};

}  // namespace quillon
