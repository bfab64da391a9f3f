#pragma once
// The virtual printer shared by the receiving thread and the window: one lock around it,
// answers kept for the connection whose data asked for them, a bounded log of the traffic.

#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "printer/VirtualPrinter.h"
#include "transport/platform/EventFd.h"

namespace quillon {

class RenderWorker;

class PrinterSession {
  public:
    static constexpr size_t kMaxLogLines = 2000;

    PrinterSession(const printer::PrinterOptions& options, RenderWorker& renderer);

    // From the receiving thread; `source` names the connection the bytes came from.
    void Receive(int source, const uint8_t* data, size_t size);
    void EndJob();
    bool Backlogged();
    // Answers not yet sent, each with the connection it goes to.
    std::vector<std::pair<int, std::string>> TakeAnswers();
    // Signalled when answers appear outside Receive (a state change from the window).
    int answersReadyFd() const { return answersReady_.fd(); }
    void ClearAnswersReady() { answersReady_.Reset(); }

    // From the window.
    printer::PrinterState State();
    void SetState(const printer::PrinterState& state);
    std::deque<std::string> TakeLog();
    void Note(const std::string& line);

  private:
    void OnAnswer(const uint8_t* bytes, size_t size);
    void Log(const char* direction, const uint8_t* bytes, size_t size);

    std::mutex lock_;
    printer::VirtualPrinter printer_;
    int source_ = 0;  // where answers go: the connection that sent data last
    std::vector<std::pair<int, std::string>> answers_;
    std::deque<std::string> log_;
    EventFd answersReady_;
};

}  // namespace quillon
