#pragma once
// What the window makes of the printer's answers while a port is open: the requests it sent
// and the answers that came, paired by the decoder; the status and the identity they tell,
// for the "Printer Status" and "Identify" buttons (a query, which waits for its answers) and
// for answers that come on their own or to requests a script sent (shown as they come).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "escpos/StatusReport.h"

namespace quillon {

enum class PrinterQuery { kNone, kStatus, kIdentity };

class PrinterAnswers {
  public:
    using Clock = std::chrono::steady_clock;
    // Answers that come on their own within this time of each other tell one state together
    // (the four DLE EOT answers of a model test, for example); a later one starts afresh.
    static constexpr std::chrono::seconds kTogether{1};

    // What a run of answers told, and the answers themselves in the order they came.
    template <class Told>
    struct Gathered {
        Told told;
        std::vector<escpos::Answer> answers;
        Clock::time_point last;

        void Clear() {
            told = {};
            answers.clear();
        }
        // Takes an answer in (false when it tells nothing of this kind); unless a query waits
        // for it, one long after the last starts afresh.
        bool Take(const escpos::Answer& answer, Clock::time_point now, bool asked) {
            if (!asked && now - last > kTogether)
                Clear();
            last = now;
            if (!told.Apply(answer))
                return false;
            answers.push_back(answer);
            return true;
        }
    };

    PrinterAnswers() { Reset(); }

    // A new port session: nothing asked, nothing known.
    void Reset();
    // What went to the printer.
    void Sent(const std::uint8_t* bytes, std::size_t count, Clock::time_point now = Clock::now());

    struct Changes {
        bool status = false;     // the status took in an answer
        bool identity = false;   // the identity took in an answer
        bool queryDone = false;  // the query has every answer it asked for
    };
    // What came back.
    Changes Received(const std::uint8_t* bytes, std::size_t count,
                     Clock::time_point now = Clock::now());

    // A query starts before its requests are sent: what it shows starts empty.
    void StartQuery(PrinterQuery query);
    // The query has waited long enough: answers still to come are not paired any more.
    void EndQuery();
    PrinterQuery Query() const { return query_; }

    const Gathered<escpos::PrinterReport>& Status() const { return status_; }
    const Gathered<escpos::PrinterIdentity>& Identity() const { return identity_; }

  private:
    // Counts an answer to the query's own requests; true once it has them all.
    bool QueryAnswered(PrinterQuery kind, std::size_t asked);

    // The decoder refers to itself, so it stays where it was made.
    std::unique_ptr<escpos::AnswerDecoder> decoder_;
    PrinterQuery query_ = PrinterQuery::kNone;
    std::size_t queryAnswers_ = 0;  // of the requests the query sent
    Gathered<escpos::PrinterReport> status_;
    Gathered<escpos::PrinterIdentity> identity_;
};

}  // namespace quillon
