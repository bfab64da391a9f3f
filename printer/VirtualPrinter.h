#pragma once
// The whole virtual printer without its transports: bytes in, answers and pages out. While
// the printer is offline (cover open, paper out) it answers real-time requests and holds the
// rest of the data until it is back online. Not thread-safe: the owner serialises calls.
// Receive is two steps that an owner may also take apart: Scan as the bytes arrive (the
// real-time requests), Feed when the printer gets to them (everything else, in order).
// Bytes come from numbered connections, each with its own place in the command it is
// sending, so that one connection's unfinished command never takes another's bytes; the
// calls without a number are those of connection 0.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "escpos/RealTimeScanner.h"
#include "escpos/Tokenizer.h"
#include "printer/PrinterModel.h"

namespace quillon::printer {

using escpos::RealTimeScanner;
using escpos::Tokenizer;

struct PrinterOptions {
    Family family = Family::kPosThermal;
    Geometry geometry = GeometryOf(Family::kPosThermal);
    // The least time a kicked drawer stands open before it is taken to be pushed shut, so
    // that a script asking after the kick sees it open; a longer pulse keeps it open longer.
    int drawerOpenMs = 1000;
};

class VirtualPrinter : private ModelOutput, private RealTimeScanner::Handler, private TokenSink {
  public:
    using AnswerSink = std::function<void(const uint8_t* bytes, size_t size)>;
    using PageSink = std::function<void(Page&& page)>;
    using StateSink = std::function<void(const PrinterState& before, const PrinterState& after)>;
    using Clock = std::chrono::steady_clock;
    // Bytes held while offline beyond which the owner should stop reading.
    static constexpr size_t kHoldLimit = 4u << 20;

    VirtualPrinter(const PrinterOptions& options, AnswerSink answers, PageSink pages);

    void Receive(int source, const uint8_t* data, size_t size) {
        Scan(source, data, size);
        Feed(source, data, size);
    }
    void Receive(const uint8_t* data, size_t size) { Receive(0, data, size); }
    void Receive(const std::string& bytes) {
        Receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    // Answers DLE EOT and carries out DLE DC4 at once, in any state. Every byte must later
    // reach Feed too, in the same order.
    void Scan(int source, const uint8_t* data, size_t size);
    void Scan(const uint8_t* data, size_t size) { Scan(0, data, size); }
    // What Scan does with the requests it finds, for an owner that scans with a scanner of
    // its own, say on a thread that must not wait for Feed; calls are serialised all the same.
    RealTimeScanner::Handler& RealTime() { return *this; }
    // Runs the bytes through the connection's tokenizer and the model, or holds them while
    // offline.
    void Feed(int source, const uint8_t* data, size_t size);
    void Feed(const uint8_t* data, size_t size) { Feed(0, data, size); }
    // The connection has ended: a command it left unfinished ends unprinted, after the bytes
    // fed before; its number may then start afresh.
    void EndConnection(int source);
    // A pause in the data: what was printed becomes a job of its own.
    void EndJob() { model_.EndJob(); }

    const PrinterState& State() const { return state_; }
    // Changes what the sensors see, as a hand on the printer does: sends automatic status
    // when enabled, and carries out the held data once the printer is online again. A drawer
    // opened by hand stays open until it is shut by hand; `drawerByHand` says the drawer item
    // was set by hand even where it does not change, so that a drawer a kick opened is then
    // held open.
    void SetState(const PrinterState& state, bool drawerByHand = false);
    // Shuts a kicked drawer whose time is up.
    void Tick(Clock::time_point now);
    // When a kicked drawer shuts by itself; the far future while none will.
    Clock::time_point DrawerShuts() const { return drawerShuts_; }
    // Told every change of the state, whatever made it.
    void OnStateChange(StateSink sink) { stateChanged_ = std::move(sink); }
    // Bytes the model has taken so far, counted as each command or text run is carried out.
    uint64_t BytesTaken() const { return bytesTaken_; }
    bool Backlogged() const { return heldBytes_ >= kHoldLimit; }
    size_t HeldBytes() const { return heldBytes_; }
    const PrinterModel& Model() const { return model_; }
    const PrinterOptions& Options() const { return options_; }

  private:
    void Answer(const uint8_t* bytes, size_t size) override { answers_(bytes, size); }
    void PageDone(Page&& page) override { pages_(std::move(page)); }
    void DrawerKicked(int onMs) override;
    void OnToken(const Token& token) override;
    void ApplyState(const PrinterState& state);
    void StatusRequest(int n) override;
    void DrawerPulse(int pin, int onMs) override;
    void FeedNow(int source, const uint8_t* data, size_t size);

    // What waits while the printer is offline: a connection's bytes, or its end.
    struct Held {
        int source;
        std::vector<uint8_t> bytes;
        bool end = false;
    };

    PrinterOptions options_;
    AnswerSink answers_;
    PageSink pages_;
    PrinterState state_;
    PrinterModel model_;
    std::map<int, Tokenizer> tokenizers_;
    std::map<int, RealTimeScanner> scanners_;
    std::deque<Held> held_;
    size_t heldBytes_ = 0;
    bool drawerHeld_ = false;  // opened by hand: no kick's time shuts it
    Clock::time_point drawerShuts_ = Clock::time_point::max();
    StateSink stateChanged_;
    uint64_t bytesTaken_ = 0;
};

}  // namespace quillon::printer
