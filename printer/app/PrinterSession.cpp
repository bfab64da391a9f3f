#include "printer/app/PrinterSession.h"

#include <cstdio>

#include "printer/app/RenderWorker.h"

namespace quillon {

PrinterSession::PrinterSession(const printer::PrinterOptions& options, RenderWorker& renderer)
    : printer_(
          options, [this](const uint8_t* b, size_t n) { OnAnswer(b, n); },
          [&renderer](printer::Page&& page) { renderer.Submit(std::move(page)); }) {}

void PrinterSession::Receive(int source, const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> hold(lock_);
    source_ = source;
    Log("->", data, size);
    printer_.Receive(data, size);
}

void PrinterSession::EndJob() {
    std::lock_guard<std::mutex> hold(lock_);
    printer_.EndJob();
}

bool PrinterSession::Backlogged() {
    std::lock_guard<std::mutex> hold(lock_);
    return printer_.Backlogged();
}

std::vector<std::pair<int, std::string>> PrinterSession::TakeAnswers() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::pair<int, std::string>> taken;
    taken.swap(answers_);
    return taken;
}

printer::PrinterState PrinterSession::State() {
    std::lock_guard<std::mutex> hold(lock_);
    return printer_.State();
}

void PrinterSession::SetState(const printer::PrinterState& state) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        printer_.SetState(state);
    }
    // Wakes the receiving thread for the answers and for held data it may read again.
    answersReady_.Signal();
}

std::deque<std::string> PrinterSession::TakeLog() {
    std::lock_guard<std::mutex> hold(lock_);
    std::deque<std::string> taken;
    taken.swap(log_);
    return taken;
}

void PrinterSession::Note(const std::string& line) {
    std::lock_guard<std::mutex> hold(lock_);
    log_.push_back(line);
    if (log_.size() > kMaxLogLines)
        log_.pop_front();
}

void PrinterSession::OnAnswer(const uint8_t* bytes, size_t size) {
    Log("<-", bytes, size);
    if (!answers_.empty() && answers_.back().first == source_)
        answers_.back().second.append(reinterpret_cast<const char*>(bytes), size);
    else
        answers_.emplace_back(source_, std::string(reinterpret_cast<const char*>(bytes), size));
}

void PrinterSession::Log(const char* direction, const uint8_t* bytes, size_t size) {
    // Only the start of a large piece goes into the log, so that logging keeps up.
    constexpr size_t kShown = 32;
    std::string line = direction;
    char hex[4];
    for (size_t i = 0; i < size && i < kShown; ++i) {
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        line += hex;
    }
    if (size > kShown)
        line += " ... (" + std::to_string(size) + " bytes)";
    log_.push_back(std::move(line));
    if (log_.size() > kMaxLogLines)
        log_.pop_front();
}

}  // namespace quillon
