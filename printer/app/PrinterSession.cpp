#include "printer/app/PrinterSession.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace quillon {

namespace {
constexpr size_t kHugePage = 2u << 20;
}  // namespace

PrinterSession::PrinterSession(const printer::PrinterOptions& options,
                               printer::VirtualPrinter::PageSink pages)
    : printer_(
          options, [this](const uint8_t* b, size_t n) { OnAnswer(b, n); }, std::move(pages)) {
    // Reserved, not used: pages come as a burst reaches them, huge ones where the system
    // gives them, so that taking a burst costs few page faults.
    void* mapped = mmap(nullptr, kBufferSize + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const uintptr_t aligned =
        (reinterpret_cast<uintptr_t>(mapped) + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    mapped_ = mapped;
    buffer_ = reinterpret_cast<uint8_t*>(aligned);
    madvise(buffer_, kBufferSize, MADV_HUGEPAGE);
    modelThread_ = std::thread([this] { RunModel(); });
}

PrinterSession::~PrinterSession() {
    Stop();
    munmap(mapped_, kBufferSize + kHugePage);
}

PrinterSession::Turn::Turn(PrinterSession& session) : session_(session) {
    ++session_.waiting_;
    hold_ = std::unique_lock<std::mutex>(session_.lock_);
    --session_.waiting_;
}

PrinterSession::Turn::~Turn() {
    hold_.unlock();
    session_.turn_.notify_one();
}

std::span<uint8_t> PrinterSession::ReceiveSpace() {
    Turn turn(*this);
    return FreeSpaceLocked();
}

std::span<uint8_t> PrinterSession::FreeSpaceLocked() {
    if (used_ == 0)
        start_ = 0;  // an empty buffer starts over, so that light traffic touches little of it
    const size_t end = (start_ + used_) % kBufferSize;
    const size_t room = end >= start_ && used_ < kBufferSize ? kBufferSize - end : start_ - end;
    return {buffer_ + end, room};
}

std::span<uint8_t> PrinterSession::Received(int source, size_t size) {
    std::span<uint8_t> space;
    {
        Turn turn(*this);
        const uint8_t* data = buffer_ + (start_ + used_) % kBufferSize;
        source_ = lastSource_ = source;
        Log("->", data, size);
        printer_.Scan(data, size);
        if (size > 0) {
            used_ += size;
            if (!runs_.empty() && !runs_.back().jobEnd && runs_.back().source == source)
                runs_.back().size += size;
            else
                runs_.push_back(Run{source, size});
            UpdateBacklogged();
        }
        space = FreeSpaceLocked();
    }
    modelWake_.notify_one();
    return space;
}

void PrinterSession::Receive(int source, const uint8_t* data, size_t size) {
    do {
        std::span<uint8_t> space;
        {
            std::unique_lock<std::mutex> hold(lock_);
            room_.wait(hold, [&] { return stopping_ || !FreeSpaceLocked().empty(); });
            if (stopping_)
                return;
            space = FreeSpaceLocked();
        }
        const size_t n = std::min(size, space.size());
        std::memcpy(space.data(), data, n);
        Received(source, n);
        data += n;
        size -= n;
    } while (size > 0);
}

void PrinterSession::EndJob() {
    {
        Turn turn(*this);
        runs_.push_back(Run{lastSource_, 0, true});
    }
    modelWake_.notify_one();
}

std::vector<std::pair<int, std::string>> PrinterSession::TakeAnswers() {
    std::vector<std::pair<int, std::string>> taken;
    if (!answersWaiting_)
        return taken;  // most of the time, so the receiving thread need not wait for the lock
    Turn turn(*this);
    taken.swap(answers_);
    answersWaiting_ = false;
    return taken;
}

void PrinterSession::Stop() {
    {
        Turn turn(*this);
        stopping_ = true;
    }
    modelWake_.notify_one();
    room_.notify_all();
    if (modelThread_.joinable())
        modelThread_.join();
    std::lock_guard<std::mutex> hold(lock_);
    runs_.clear();
    used_ = 0;
    printer_.EndJob();
    UpdateBacklogged();
}

void PrinterSession::RunModel() {
    // Modelling gives way to reading when the two compete for a processor: what is not
    // modelled yet waits in the buffer, and a full buffer stops the reading.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        // Offline, the bytes stay in the buffer with their connections until the printer is
        // back online. Stopping, what may be modelled still is.
        modelWake_.wait(
            hold, [this] { return stopping_ || (!runs_.empty() && printer_.State().Online()); });
        if (runs_.empty() || !printer_.State().Online())
            return;
        FeedSlice();
        // Whoever waits for the lock goes first: the receiving thread waits one slice at most.
        turn_.wait(hold, [this] { return waiting_ == 0; });
    }
}

void PrinterSession::FeedSlice() {
    const bool wasFull = backlogged_;
    newAnswers_ = false;
    Run& run = runs_.front();
    source_ = run.source;
    if (run.jobEnd) {
        printer_.EndJob();
        runs_.pop_front();
    } else {
        const size_t n = std::min({kSlice, run.size, kBufferSize - start_});
        printer_.Feed(buffer_ + start_, n);
        start_ = (start_ + n) % kBufferSize;
        used_ -= n;
        run.size -= n;
        if (run.size == 0)
            runs_.pop_front();
        room_.notify_all();
    }
    UpdateBacklogged();
    if (newAnswers_ || (wasFull && !backlogged_))
        answersReady_.Signal();
}

printer::PrinterState PrinterSession::State() {
    Turn turn(*this);
    return printer_.State();
}

void PrinterSession::SetState(const printer::PrinterState& state) {
    {
        Turn turn(*this);
        source_ = lastSource_;
        printer_.SetState(state);
        UpdateBacklogged();
    }
    // Back online, the model thread goes on with the buffer.
    modelWake_.notify_one();
    // Wakes the receiving thread for the answers and for held data it may read again.
    answersReady_.Signal();
}

std::deque<std::string> PrinterSession::TakeLog() {
    Turn turn(*this);
    std::deque<std::string> taken;
    taken.swap(log_);
    return taken;
}

void PrinterSession::Note(const std::string& line) {
    Turn turn(*this);
    log_.push_back(line);
    if (log_.size() > kMaxLogLines)
        log_.pop_front();
}

void PrinterSession::OnAnswer(const uint8_t* bytes, size_t size) {
    Log("<-", bytes, size);
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
    log_.push_back(std::move(line));
    if (log_.size() > kMaxLogLines)
        log_.pop_front();
}

}  // namespace quillon
