#include "printer/app/PrinterSession.h"

#include "printer/app/JobJournal.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quillon {

PrinterSession::PrinterSession(const printer::PrinterOptions& options,
                               printer::VirtualPrinter::PageSink pages)
    : printer_(
          options, [this](const uint8_t* b, size_t n) { OnAnswer(b, n); },
          [this](printer::Page&& page) { HandOn(std::move(page)); }),
      // Left as it is, the memory is taken only as a burst reaches it.
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)),
      pages_(std::move(pages)) {
    printer_.OnStateChange(
        [this](const printer::PrinterState& before, const printer::PrinterState& after) {
            if (journal_)
                journal_->StateChanged(before, after);
        });
    modelThread_ = std::thread([this] { RunModel(); });
}

PrinterSession::~PrinterSession() {
    Stop();
}

std::span<uint8_t> PrinterSession::ReceiveSpace() {
    std::lock_guard<std::mutex> lock(bufferLock_);
    return FreeSpaceLocked();
}

std::span<uint8_t> PrinterSession::FreeSpaceLocked() {
    if (used_ == 0)
        start_ = 0;
    const size_t end = (start_ + used_) % kBufferSize;
    const size_t room = end >= start_ && used_ < kBufferSize ? kBufferSize - end : start_ - end;
    return {buffer_.get() + end, room};
}

std::span<uint8_t> PrinterSession::Received(int source, size_t size, bool scanned) {
    const uint8_t* data;
    {
        std::lock_guard<std::mutex> lock(bufferLock_);
        data = buffer_.get() + (start_ + used_) % kBufferSize;
    }
    lastSource_ = source;
    if (!scanned)
        Scan(source, data, size);
    std::span<uint8_t> space;
    {
        std::lock_guard<std::mutex> lock(bufferLock_);
        if (size > 0) {
            used_ += size;
            if (!runs_.empty() && runs_.back().kind == Run::kBytes && runs_.back().source == source)
                runs_.back().size += size;
            else
                runs_.push_back(Run{source, size});
            backlogged_ = used_ == kBufferSize;
        }
        space = FreeSpaceLocked();
    }
    modelWake_.notify_one();
    return space;
}

void PrinterSession::Receive(int source, const uint8_t* data, size_t size) {
    if (size == 0)
        Received(source, 0);
    while (size > 0) {
        std::span<uint8_t> space;
        {
            std::unique_lock<std::mutex> lock(bufferLock_);
            room_.wait(lock, [&] { return stopping_ || !FreeSpaceLocked().empty(); });
            if (stopping_)
                return;
            space = FreeSpaceLocked();
        }
        const size_t n = std::min(size, space.size());
        std::memcpy(space.data(), data, n);
        Received(source, n);
        data += n;
        size -= n;
    }
}

void PrinterSession::Scan(int source, const uint8_t* data, size_t size) {
    Log("->", data, size);
    scanSource_ = source;
    scanners_.try_emplace(source, static_cast<escpos::RealTimeScanner::Handler&>(*this))
        .first->second.Scan(data, size);
}

void PrinterSession::EndJob() {
    {
        std::lock_guard<std::mutex> lock(bufferLock_);
        runs_.push_back(Run{lastSource_, 0, Run::kJobEnd});
    }
    modelWake_.notify_one();
}

void PrinterSession::EndConnection(int source) {
    scanners_.erase(source);
    {
        std::lock_guard<std::mutex> lock(bufferLock_);
        runs_.push_back(Run{source, 0, Run::kConnectionEnd});
    }
    modelWake_.notify_one();
}

bool PrinterSession::Holds(int source) {
    std::lock_guard<std::mutex> lock(bufferLock_);
    return std::any_of(runs_.begin(), runs_.end(), [source](const Run& run) {
        return run.kind == Run::kBytes && run.source == source;
    });
}

bool PrinterSession::BetweenJobs(int source) {
    if (Holds(source))
        return false;
    std::lock_guard<std::mutex> hold(printerLock_);
    const printer::PrinterModel& model = printer_.Model();
    return printer_.HeldBytes() == 0 && model.Pages().Empty() && model.LineEmpty();
}

std::optional<printer::Page> PrinterSession::PageInProgress(uint64_t& version) {
    {
        // While data waits, the page is about to change again: a picture of it would be
        // stale at once and would cost the model its time.
        std::lock_guard<std::mutex> lock(bufferLock_);
        if (!runs_.empty())
            return std::nullopt;
    }
    std::lock_guard<std::mutex> hold(printerLock_);
    const printer::PageBuilder& pages = printer_.Model().Pages();
    if (pages.Version() == version)
        return std::nullopt;
    version = pages.Version();
    return pages.Current();
}

std::vector<std::pair<int, std::string>> PrinterSession::TakeAnswers() {
    std::vector<std::pair<int, std::string>> taken;
    if (!answersWaiting_)
        return taken;  // most of the time: the receiving thread need not wait for the printer
    std::lock_guard<std::mutex> hold(printerLock_);
    taken.swap(answers_);
    answersWaiting_ = false;
    return taken;
}

void PrinterSession::Stop() {
    {
        std::lock_guard<std::mutex> lock(bufferLock_);
        stopping_ = true;
    }
    modelWake_.notify_one();
    room_.notify_all();
    if (modelThread_.joinable())
        modelThread_.join();
    {
        std::lock_guard<std::mutex> lock(bufferLock_);
        runs_.clear();
        used_ = 0;
        backlogged_ = false;
    }
    std::lock_guard<std::mutex> hold(printerLock_);
    printer_.EndJob();
    if (journal_)
        journal_->JobEnded(printer_.BytesTaken());
}

void PrinterSession::StatusRequest(int n) {
    std::lock_guard<std::mutex> hold(printerLock_);
    source_ = scanSource_;
    printer_.RealTime().StatusRequest(n);
}

void PrinterSession::DrawerPulse(int pin, int onMs) {
    std::lock_guard<std::mutex> hold(printerLock_);
    source_ = scanSource_;
    printer_.RealTime().DrawerPulse(pin, onMs);
    drawerShuts_ = printer_.DrawerShuts();
}

std::chrono::steady_clock::time_point PrinterSession::Tick(
    std::chrono::steady_clock::time_point now) {
    if (now < drawerShuts_.load())
        return drawerShuts_;
    std::lock_guard<std::mutex> hold(printerLock_);
    source_ = lastSource_;
    newAnswers_ = false;
    printer_.Tick(now);
    drawerShuts_ = printer_.DrawerShuts();
    // Automatic status that tells of the shut drawer goes out on the loop's next round.
    if (newAnswers_)
        answersReady_.Signal();
    return drawerShuts_;
}

void PrinterSession::HandOn(printer::Page&& page) {
    if (mostPagesAhead_ > 0) {
        std::lock_guard<std::mutex> lock(bufferLock_);
        if (++pagesAhead_ >= mostPagesAhead_)
            drawingBehind_ = true;
    }
    if (journal_)
        journal_->PageOut(page, printer_.BytesTaken());
    pages_(std::move(page));
}

void PrinterSession::PageDone() {
    if (mostPagesAhead_ == 0)
        return;
    {
        std::lock_guard<std::mutex> lock(bufferLock_);
        if (pagesAhead_ > 0)
            --pagesAhead_;
        if (!drawingBehind_ || pagesAhead_ > mostPagesAhead_ / 2)
            return;
        drawingBehind_ = false;
    }
    modelWake_.notify_one();
    // The receiving thread reads again.
    answersReady_.Signal();
}

void PrinterSession::RunModel() {
    // Modelling gives way to reading when the two compete for a processor: what is not
    // modelled yet waits in the buffer, and a full buffer stops the reading.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    while (FeedSlice()) {
    }
}

bool PrinterSession::FeedSlice() {
    Run run{};
    const uint8_t* data = nullptr;
    {
        // Offline, the bytes stay in the buffer with their connections until the printer is
        // back online. Stopping, what may be modelled still is.
        std::unique_lock<std::mutex> lock(bufferLock_);
        // Stopping, the model still waits for drawing, so that every page is drawn.
        modelWake_.wait(
            lock, [this] { return (stopping_ || (!runs_.empty() && online_)) && !drawingBehind_; });
        if (runs_.empty() || !online_)
            return false;
        run = runs_.front();
        run.size = std::min({kSlice, run.size, kBufferSize - start_});
        data = buffer_.get() + start_;  // the receiving thread writes only past the used bytes
    }
    bool wakeReader = false;
    {
        std::lock_guard<std::mutex> hold(printerLock_);
        if (!printer_.State().Online())
            return true;  // gone offline meanwhile: wait for it to come back
        newAnswers_ = false;
        const auto drawerShuts = printer_.DrawerShuts();
        source_ = run.source;
        if (run.kind == Run::kJobEnd) {
            printer_.EndJob();
            if (journal_)
                journal_->JobEnded(printer_.BytesTaken());
        } else if (run.kind == Run::kConnectionEnd) {
            printer_.EndConnection(run.source);
        } else {
            if (journal_)
                journal_->Feeding(run.source);
            printer_.Feed(run.source, data, run.size);
        }
        // A kick: the receiving thread, which shuts the drawer in time, learns when.
        drawerShuts_ = printer_.DrawerShuts();
        wakeReader = newAnswers_ || drawerShuts != printer_.DrawerShuts();
    }
    {
        std::lock_guard<std::mutex> lock(bufferLock_);
        const bool wasFull = backlogged_;
        if (run.kind == Run::kBytes) {
            start_ = (start_ + run.size) % kBufferSize;
            used_ -= run.size;
            runs_.front().size -= run.size;
        }
        if (runs_.front().size == 0)
            runs_.pop_front();
        backlogged_ = used_ == kBufferSize;
        wakeReader = wakeReader || (wasFull && !backlogged_);
    }
    room_.notify_all();
    if (wakeReader)
        answersReady_.Signal();
    return true;
}

printer::PrinterState PrinterSession::State() {
    std::lock_guard<std::mutex> hold(printerLock_);
    return printer_.State();
}

void PrinterSession::SetState(const printer::PrinterState& state, bool drawerByHand) {
    {
        std::lock_guard<std::mutex> hold(printerLock_);
        source_ = lastSource_;
        printer_.SetState(state, drawerByHand);
        online_ = printer_.State().Online();
        drawerShuts_ = printer_.DrawerShuts();
    }
    {
        // The model thread is either asleep, and woken below, or has yet to see online_.
        std::lock_guard<std::mutex> lock(bufferLock_);
    }
    modelWake_.notify_one();
    // Wakes the receiving thread for the answers.
    answersReady_.Signal();
}

std::deque<std::string> PrinterSession::TakeLog() {
    std::lock_guard<std::mutex> hold(logLock_);
    std::deque<std::string> taken;
    taken.swap(log_);
    return taken;
}

void PrinterSession::Note(const std::string& line) {
    std::lock_guard<std::mutex> hold(logLock_);
    log_.push_back(line);
    if (log_.size() > kMaxLogLines)
        log_.pop_front();
}

void PrinterSession::OnAnswer(const uint8_t* bytes, size_t size) {
    Log("<-", bytes, size);
    if (journal_)
        journal_->Answered(source_, bytes, size);
    newAnswers_ = true;
    answersWaiting_ = true;
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
    std::lock_guard<std::mutex> hold(logLock_);
    log_.push_back(std::move(line));
    if (log_.size() > kMaxLogLines)
        log_.pop_front();
}

}  // namespace quillon
