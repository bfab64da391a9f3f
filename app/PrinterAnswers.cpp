#include "app/PrinterAnswers.h"

#include <algorithm>
#include <iterator>

namespace quillon {

using escpos::Answer;
using escpos::Request;

namespace {

bool AsksStatus(Request request) {
    return std::find(std::begin(escpos::kStatusRequests), std::end(escpos::kStatusRequests),
                     request) != std::end(escpos::kStatusRequests);
}

bool AsksIdentity(Request request) {
    return std::find(std::begin(escpos::kIdentityRequests), std::end(escpos::kIdentityRequests),
                     request) != std::end(escpos::kIdentityRequests);
}

}  // namespace

void PrinterAnswers::Reset() {
    decoder_ = std::make_unique<escpos::AnswerDecoder>();
    query_ = PrinterQuery::kNone;
    report_ = {};
    identity_ = {};
    statusAnswers_.clear();
    identityAnswers_.clear();
}

void PrinterAnswers::Sent(const std::uint8_t* bytes, std::size_t count, Clock::time_point now) {
    decoder_->Sent(bytes, count, now);
}

void PrinterAnswers::StartQuery(PrinterQuery query) {
    query_ = query;
    queryAnswers_ = 0;
    if (query == PrinterQuery::kStatus) {
        report_ = {};
        statusAnswers_.clear();
    } else if (query == PrinterQuery::kIdentity) {
        identity_ = {};
        identityAnswers_.clear();
    }
}

void PrinterAnswers::EndQuery() {
    query_ = PrinterQuery::kNone;
    decoder_->ForgetRequests();
}

PrinterAnswers::Changes PrinterAnswers::Received(const std::uint8_t* bytes, std::size_t count,
                                                 Clock::time_point now) {
    Changes changes;
    decoder_->Received(
        bytes, count,
        [&](const Answer& answer) {
            if (answer.kind == Answer::Kind::kAutomatic ||
                (answer.kind == Answer::Kind::kStatus && !AsksIdentity(answer.request)))
                TakeStatus(answer, now, changes);
            else if (answer.kind == Answer::Kind::kText ||
                     (answer.kind == Answer::Kind::kStatus && AsksIdentity(answer.request)))
                TakeIdentity(answer, now, changes);
        },
        now);
    return changes;
}

void PrinterAnswers::TakeStatus(const Answer& answer, Clock::time_point now, Changes& changes) {
    const bool asked = query_ == PrinterQuery::kStatus;
    // Outside a query an answer long after the last one tells a state of its own.
    if (!asked && now - lastStatus_ > kTogether) {
        report_ = {};
        statusAnswers_.clear();
    }
    lastStatus_ = now;
    if (!report_.Apply(answer))
        return;
    statusAnswers_.push_back(answer);
    changes.status = true;
    if (asked && answer.kind == Answer::Kind::kStatus && AsksStatus(answer.request) &&
        ++queryAnswers_ == std::size(escpos::kStatusRequests)) {
        query_ = PrinterQuery::kNone;
        changes.queryDone = true;
    }
}

void PrinterAnswers::TakeIdentity(const Answer& answer, Clock::time_point now, Changes& changes) {
    const bool asked = query_ == PrinterQuery::kIdentity;
    if (!asked && now - lastIdentity_ > kTogether) {
        identity_ = {};
        identityAnswers_.clear();
    }
    lastIdentity_ = now;
    if (!identity_.Apply(answer))
        return;
    identityAnswers_.push_back(answer);
    changes.identity = true;
    if (asked && ++queryAnswers_ == std::size(escpos::kIdentityRequests)) {
        query_ = PrinterQuery::kNone;
        changes.queryDone = true;
    }
}

}  // namespace quillon
