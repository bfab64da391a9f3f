#pragma once
// The whole virtual printer without its transports: bytes in, answers and pages out. While
// the printer is offline (cover open, paper out) it answers real-time requests and holds the
// rest of the data until it is back online. Not thread-safe: the owner serialises calls.
// Receive is two steps that an owner may also take apart: Scan as the bytes arrive (the
// real-time requests), Feed when the printer gets to them (everything else, in order).

#include <cstdint>
#include <functional>
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
    int paperWidth = 576;  // dots
};

class VirtualPrinter : private ModelOutput, private RealTimeScanner::Handler {
  public:
    using AnswerSink = std::function<void(const uint8_t* bytes, size_t size)>;
    using PageSink = std::function<void(Page&& page)>;
    // Bytes held while offline beyond which the owner should stop reading.
    static constexpr size_t kHoldLimit = 4u << 20;

    VirtualPrinter(const PrinterOptions& options, AnswerSink answers, PageSink pages);

    void Receive(const uint8_t* data, size_t size) {
        Scan(data, size);
        Feed(data, size);
    }
    void Receive(const std::string& bytes) {
        Receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    // Answers DLE EOT and carries out DLE DC4 at once, in any state. Every byte must later
    // reach Feed too, in the same order.
    void Scan(const uint8_t* data, size_t size) { scanner_.Scan(data, size); }
    // What Scan does with the requests it finds, for an owner that scans with a scanner of
    // its own, say on a thread that must not wait for Feed; calls are serialised all the same.
    RealTimeScanner::Handler& RealTime() { return *this; }
    // Runs the bytes through the tokenizer and the model, or holds them while offline.
    void Feed(const uint8_t* data, size_t size);
    // A pause in the data: what was printed becomes a job of its own.
    void EndJob() { model_.EndJob(); }

    const PrinterState& State() const { return state_; }
    // Changes what the sensors see: sends automatic status when enabled, and carries out the
    // held data once the printer is online again.
    void SetState(const PrinterState& state);
    bool Backlogged() const { return held_.size() >= kHoldLimit; }
    size_t HeldBytes() const { return held_.size(); }
    const PrinterModel& Model() const { return model_; }
    const PrinterOptions& Options() const { return options_; }

  private:
    void Answer(const uint8_t* bytes, size_t size) override { answers_(bytes, size); }
    void PageDone(Page&& page) override { pages_(std::move(page)); }
    void DrawerKicked() override;
    void StatusRequest(int n) override;
    void DrawerPulse(int pin, int onMs) override;

    PrinterOptions options_;
    AnswerSink answers_;
    PageSink pages_;
    PrinterState state_;
    PrinterModel model_;
    Tokenizer tokenizer_;
    RealTimeScanner scanner_;
    std::vector<uint8_t> held_;
};

}  // namespace quillon::printer
