#include "escpos/AnswerDecoder.h"

#include <algorithm>

namespace quillon::escpos {

namespace {

constexpr std::uint8_t kXon = 0x11;
constexpr std::uint8_t kXoff = 0x13;
constexpr std::uint8_t kTextHeader = 0x5F;

bool IsRealTimeShape(std::uint8_t b) {
    return (b & 0x93) == 0x12;
}
bool IsAutomaticStart(std::uint8_t b) {
    return (b & 0x93) == 0x10;
}
bool IsOneByteShape(std::uint8_t b) {
    return (b & 0x90) == 0;
}

// DLE EOT 7 and 8: many printers ignore them.
bool MayGoUnanswered(Request request) {
    return request == Request::kInkA || request == Request::kInkB || request == Request::kPeeler;
}

}  // namespace

void AnswerDecoder::Sent(const std::uint8_t* data, std::size_t size, Clock::time_point now) {
    sentAt_ = now;
    scanner_.Scan(data, size);
}

void AnswerDecoder::Asked(Request request) {
    if (IsRealTime(request)) {
        if (realTime_.size() == kMaxWaiting)
            realTime_.pop_front();
        realTime_.push_back({request, sentAt_});
        return;
    }
    if (inOrder_.size() == kMaxWaiting)
        PopInOrder();
    inOrder_.push_back({request, sentAt_});
}

void AnswerDecoder::AutomaticStatusItems(std::uint8_t items) {
    if (inOrder_.size() == kMaxWaiting)
        PopInOrder();
    inOrder_.push_back({Request::kPrinter, sentAt_, true, items});
    ++settings_;
    if (items != 0)
        ++settingsOn_;
}

void AnswerDecoder::PopInOrder() {
    const Pending& oldest = inOrder_.front();
    if (oldest.setting) {
        asbItems_ = oldest.items;
        --settings_;
        if (oldest.items != 0)
            --settingsOn_;
    }
    inOrder_.pop_front();
}

void AnswerDecoder::ForgetRequests() {
    realTime_.clear();
    // The settings stay on their way; the requests between them are given up.
    std::deque<Pending> settings;
    for (const Pending& p : inOrder_)
        if (p.setting)
            settings.push_back(p);
    inOrder_.swap(settings);
}

bool AnswerDecoder::TakeInOrder(bool text, Request& request) {
    const auto found = std::find_if(inOrder_.begin(), inOrder_.end(), [text](const Pending& w) {
        if (w.setting)
            return false;
        return AnswersWithText(w.request) == text;
    });
    if (found == inOrder_.end())
        return false;
    request = found->request;
    // Everything before it has been carried out by now.
    const auto taken = found - inOrder_.begin() + 1;
    for (auto k = taken; k > 0; --k)
        PopInOrder();
    return true;
}

bool AnswerDecoder::TakeRealTime(Request& request) {
    if (realTime_.empty())
        return false;
    // Answers come in the order asked. One that may be ignored, with others behind it: the
    // answer may be its or the next one's, so none of them can be told any more.
    if (MayGoUnanswered(realTime_.front().request) && realTime_.size() > 1) {
        realTime_.clear();
        return false;
    }
    request = realTime_.front().request;
    realTime_.pop_front();
    return true;
}

void AnswerDecoder::Undecoded(const std::uint8_t* bytes, std::size_t size,
                              const AnswerSink& found) {
    if (size == 0)
        return;
    Answer answer;
    answer.bytes.assign(bytes, bytes + size);
    found(answer);
}

void AnswerDecoder::Abandon(const AnswerSink& found) {
    collecting_ = Collecting::kNothing;
    Undecoded(partial_.data(), partial_.size(), found);
    partial_.clear();
}

void AnswerDecoder::Received(const std::uint8_t* data, std::size_t size, const AnswerSink& found,
                             Clock::time_point now) {
    while (!realTime_.empty() && now - realTime_.front().sent > kRealTimeWait)
        realTime_.pop_front();
    std::size_t i = 0;
    // A run of bytes that answer nothing goes on as one.
    std::size_t runStart = 0;
    auto endRun = [&] {
        Undecoded(data + runStart, i - runStart, found);
        runStart = i + 1;
    };
    while (i < size) {
        // Nothing is expected: the rest answers nothing.
        if (collecting_ == Collecting::kNothing && !Expecting()) {
            i = size;
            break;
        }
        const std::uint8_t b = data[i];
        if (collecting_ == Collecting::kAutomatic) {
            if (!IsOneByteShape(b)) {
                // Not automatic status after all: its first bytes answer nothing, and this
                // byte is looked at afresh.
                Abandon(found);
                continue;
            }
            partial_.push_back(b);
            if (partial_.size() == 4) {
                Answer answer{Answer::Kind::kAutomatic, Request::kPrinter, partial_, {}};
                collecting_ = Collecting::kNothing;
                partial_.clear();
                found(answer);
            }
            runStart = ++i;
            continue;
        }
        if (collecting_ == Collecting::kText) {
            partial_.push_back(b);
            if (b == 0) {
                Answer answer{Answer::Kind::kText, textRequest_, partial_, {}};
                answer.text.assign(partial_.begin() + 1, partial_.end() - 1);
                collecting_ = Collecting::kNothing;
                partial_.clear();
                found(answer);
            } else if (partial_.size() > kMaxText + 1) {
                Abandon(found);
            }
            runStart = ++i;
            continue;
        }
        Request request = Request::kPrinter;
        if (b == kXon || b == kXoff) {
            endRun();
            found(Answer{Answer::Kind::kFlowControl, Request::kPrinter, {b}, {}});
        } else if (IsRealTimeShape(b) && TakeRealTime(request)) {
            endRun();
            found(Answer{Answer::Kind::kStatus, request, {b}, {}});
        } else if (IsAutomaticStart(b) && AutomaticStatusMayCome()) {
            endRun();
            collecting_ = Collecting::kAutomatic;
            partial_.assign(1, b);
        } else if (IsOneByteShape(b) && TakeInOrder(false, request)) {
            endRun();
            found(Answer{Answer::Kind::kStatus, request, {b}, {}});
        } else if (b == kTextHeader && TakeInOrder(true, request)) {
            endRun();
            collecting_ = Collecting::kText;
            textRequest_ = request;
            partial_.assign(1, b);
        }
        ++i;
    }
    Undecoded(data + std::min(runStart, size), size - std::min(runStart, size), found);
}

}  // namespace quillon::escpos
