#include "app/PrinterAnswers.h"

#include <algorithm>
#include <iterator>

namespace quillon {

using escpos::Answer;
using escpos::Request;

namespace {

template <std::size_t N>
bool OneOf(const Request (&requests)[N], Request request) {
    return std::find(std::begin(requests), std::end(requests), request) != std::end(requests);
}

}  // namespace

void PrinterAnswers::Reset() {
    decoder_ = std::make_unique<escpos::AnswerDecoder>();
    query_ = PrinterQuery::kNone;
    status_.Clear();
    identity_.Clear();
}

void PrinterAnswers::Sent(const std::uint8_t* bytes, std::size_t count, Clock::time_point now) {
    decoder_->Sent(bytes, count, now);
}

void PrinterAnswers::StartQuery(PrinterQuery query) {
    query_ = query;
    queryAnswers_ = 0;
    if (query == PrinterQuery::kStatus)
        status_.Clear();
    else if (query == PrinterQuery::kIdentity)
        identity_.Clear();
}

void PrinterAnswers::EndQuery() {
    query_ = PrinterQuery::kNone;
    decoder_->ForgetRequests();
}

bool PrinterAnswers::QueryAnswered(PrinterQuery kind, std::size_t asked) {
    if (query_ != kind || ++queryAnswers_ < asked)
        return false;
    query_ = PrinterQuery::kNone;
    return true;
}

PrinterAnswers::Changes PrinterAnswers::Received(const std::uint8_t* bytes, std::size_t count,
                                                 Clock::time_point now) {
    Changes changes;
    decoder_->Received(
        bytes, count,
        [&](const Answer& answer) {
            const bool identity = answer.kind == Answer::Kind::kText ||
                                  (answer.kind == Answer::Kind::kStatus &&
                                   OneOf(escpos::kIdentityRequests, answer.request));
            if (identity) {
                if (identity_.Take(answer, now, query_ == PrinterQuery::kIdentity)) {
                    changes.identity = true;
                    changes.queryDone |= QueryAnswered(PrinterQuery::kIdentity,
                                                       std::size(escpos::kIdentityRequests));
                }
            } else if (status_.Take(answer, now, query_ == PrinterQuery::kStatus)) {
                changes.status = true;
                // Only the button's own DLE EOT answers count; automatic status and the like
                // that come meanwhile add to what it shows.
                if (answer.kind == Answer::Kind::kStatus &&
                    OneOf(escpos::kStatusRequests, answer.request))
                    changes.queryDone |=
                        QueryAnswered(PrinterQuery::kStatus, std::size(escpos::kStatusRequests));
            }
        },
        now);
    return changes;
}

}  // namespace quillon
