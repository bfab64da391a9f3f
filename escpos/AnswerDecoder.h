#pragma once
// Pairs what a printer sends back with what was asked of it. Each kind of answer has its own
// shape, so a stream that mixes them comes apart the way the printer put it together:
//   real-time status (DLE EOT)        0xx1xx10
//   automatic status back (4 bytes)   0xx1xx00, then 0xx0xxxx three times
//   GS r, ESC v, GS I 1-3             0xx0xxxx
//   GS I 65-69                        0x5F, the text, NUL
//   XON / XOFF                        0x11 / 0x13
// An answer of each kind goes to the oldest request of its kind still waiting. A byte that
// fits no answer expected is left undecoded rather than guessed at. Real-time requests are
// answered at once, so one still unanswered after kRealTimeWait was not answered at all;
// DLE EOT 7 and 8, which only some printers answer, are paired with an answer only while no
// other real-time request waits, since an answer cannot say which of them it is.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "escpos/Requests.h"

namespace quillon::escpos {

struct Answer {
    enum class Kind : std::uint8_t {
        kStatus,       // one byte answering `request`
        kAutomatic,    // the four bytes of automatic status back
        kText,         // the block answering `request`; `text` holds what is between
        kFlowControl,  // XON or XOFF while answers were expected
        kUndecoded,    // bytes that answer nothing asked
    };
    Kind kind = Kind::kUndecoded;
    Request request = Request::kPrinter;
    std::vector<std::uint8_t> bytes;  // as received
    std::string text;
};

class AnswerDecoder : private RequestScanner::Sink {
  public:
    using AnswerSink = std::function<void(const Answer&)>;
    using Clock = std::chrono::steady_clock;

    // Requests still waiting beyond this many of one kind: the oldest is taken as unanswered.
    static constexpr std::size_t kMaxWaiting = 256;
    static constexpr std::chrono::seconds kRealTimeWait{5};
    // The longest GS I text taken; a longer block is no answer.
    static constexpr std::size_t kMaxText = 80;

    AnswerDecoder() : scanner_(*this) {}

    // What went to the printer, in order: the requests in it are what answers pair with.
    void Sent(const std::uint8_t* data, std::size_t size, Clock::time_point now = Clock::now());
    // What came back, in order; each answer found goes to `found` as soon as it is whole.
    void Received(const std::uint8_t* data, std::size_t size, const AnswerSink& found,
                  Clock::time_point now = Clock::now());
    // The asker has stopped waiting: answers still to come are left undecoded rather than
    // taken for the answers of later requests.
    void ForgetRequests();

    // Requests still waiting for their answers.
    std::size_t Waiting() const { return realTime_.size() + inOrder_.size() - settings_; }

  private:
    enum class Collecting : std::uint8_t { kNothing, kAutomatic, kText };
    // A request, or (setting) a change of the automatic status items, which takes effect
    // when the printer gets to it: no sooner than the answers to the requests before it.
    struct Pending {
        Request request;
        Clock::time_point sent;
        bool setting = false;
        std::uint8_t items = 0;
    };

    void Asked(Request request) override;
    void AutomaticStatusItems(std::uint8_t items) override;
    // Automatic status may come: it is on, or a change still on its way switches it on.
    bool AutomaticStatusMayCome() const { return asbItems_ != 0 || settingsOn_ != 0; }
    // Something other than an undecoded byte could come next.
    bool Expecting() const {
        return !realTime_.empty() || inOrder_.size() > settings_ || AutomaticStatusMayCome();
    }
    // Takes the oldest waiting in-order entry, carrying out a setting.
    void PopInOrder();
    // Takes the oldest waiting in-order request answered with text (or with one byte); the
    // ones of the other shape before it were not answered, since answers come in order.
    bool TakeInOrder(bool text, Request& request);
    // Takes the real-time request a real-time answer belongs to; false when there is none or
    // it cannot be told (the ones waiting are then given up).
    bool TakeRealTime(Request& request);
    void Undecoded(const std::uint8_t* bytes, std::size_t size, const AnswerSink& found);
    // Hands on what was being collected as undecoded bytes.
    void Abandon(const AnswerSink& found);

    RequestScanner scanner_;
    std::deque<Pending> realTime_;
    std::deque<Pending> inOrder_;
    Clock::time_point sentAt_;    // of what Sent is scanning
    std::uint8_t asbItems_ = 0;   // the automatic status items the printer has now
    std::size_t settings_ = 0;    // settings among inOrder_
    std::size_t settingsOn_ = 0;  // of which switch automatic status on
    Collecting collecting_ = Collecting::kNothing;
    Request textRequest_ = Request::kFirmware;
    std::vector<std::uint8_t> partial_;
};

}  // namespace quillon::escpos
