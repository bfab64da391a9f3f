#pragma once
// Finds the real-time commands (DLE EOT n, DLE DC4 1 m t) in the raw stream as it arrives,
// wherever they stand — even inside an image's data or while the printer is offline — so
// they are answered at once. The bytes still go on to the tokenizer unchanged. A host finds
// its own requests the same way, so that it expects the answers the printer gives.

#include <cstddef>
#include <cstdint>

namespace quillon::escpos {

class RealTimeScanner {
  public:
    class Handler {
      public:
        virtual ~Handler() = default;
        virtual void StatusRequest(int n) = 0;            // DLE EOT n, n = 1..4
        virtual void DrawerPulse(int pin, int onMs) = 0;  // DLE DC4 1 m t
        // DLE EOT 7 a (ink, a = 1 or 2) and DLE EOT 8 3 (label peeler), which only some
        // printers have.
        virtual void ArgumentStatusRequest(int /*n*/, int /*a*/) {}
    };

    explicit RealTimeScanner(Handler& handler) : handler_(handler) {}
    void Scan(const uint8_t* data, size_t size);

  private:
    enum class Step { kIdle, kDle, kEot, kEotArgument, kDc4, kPulsePin, kPulseTime };
    Handler& handler_;
    Step step_ = Step::kIdle;
    int pin_ = 0;
    int eot_ = 0;  // the n of a DLE EOT n a waiting for its a
};

}  // namespace quillon::escpos
