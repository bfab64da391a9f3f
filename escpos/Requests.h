#pragma once
// The status requests a host sends and how a printer answers each: the real-time ones
// (DLE EOT) the moment they arrive, wherever they stand in the data and even offline; the
// others (ESC v, GS r, GS I) in turn with the data around them. RequestScanner finds the
// requests in what is sent the way the printer finds them, so that the answers expected are
// the answers the printer gives.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "escpos/RealTimeScanner.h"
#include "escpos/Tokenizer.h"

namespace quillon::escpos {

enum class Request : std::uint8_t {
    kPrinter,       // DLE EOT 1
    kOfflineCause,  // DLE EOT 2
    kErrorCause,    // DLE EOT 3
    kRollPaper,     // DLE EOT 4
    kInkA,          // DLE EOT 7 1
    kInkB,          // DLE EOT 7 2
    kPeeler,        // DLE EOT 8 3
    kPaperSensor,   // GS r 1 and ESC v
    kDrawer,        // GS r 2
    kModelId,       // GS I 1
    kTypeId,        // GS I 2
    kVersionId,     // GS I 3
    kFirmware,      // GS I 65
    kMaker,         // GS I 66
    kModelName,     // GS I 67
    kSerialNumber,  // GS I 68
    kFonts,         // GS I 69
};

// Answered at once, ahead of anything still waiting in the printer.
bool IsRealTime(Request request);
// Answered with a block: 0x5F, the text, NUL.
bool AnswersWithText(Request request);
// The bytes that ask.
std::vector<std::uint8_t> RequestBytes(Request request);
// The command that asks, as a technician names it: "DLE EOT 1", "GS r 2", "GS I 65".
const char* RequestName(Request request);

// What "Printer Status" asks: the printer, the offline cause, the error cause, the paper.
inline constexpr Request kStatusRequests[] = {Request::kPrinter, Request::kOfflineCause,
                                              Request::kErrorCause, Request::kRollPaper};
// What "Identify" asks.
inline constexpr Request kIdentityRequests[] = {
    Request::kModelId, Request::kTypeId,    Request::kVersionId,    Request::kFirmware,
    Request::kMaker,   Request::kModelName, Request::kSerialNumber, Request::kFonts,
};

class RequestScanner : private TokenSink, private RealTimeScanner::Handler {
  public:
    class Sink {
      public:
        virtual ~Sink() = default;
        virtual void Asked(Request request) = 0;
        // GS a n: the items of automatic status back switched on from now (0: off); ESC @
        // switches them off.
        virtual void AutomaticStatusItems(std::uint8_t items) = 0;
    };

    explicit RequestScanner(Sink& sink) : sink_(sink), tokenizer_(*this), realTime_(*this) {}
    // What is sent, in order and in pieces of any size.
    void Scan(const std::uint8_t* data, std::size_t size);

  private:
    void OnToken(const Token& token) override;
    void StatusRequest(int n) override;
    void ArgumentStatusRequest(int n, int a) override;
    void DrawerPulse(int, int) override {}

    Sink& sink_;
    Tokenizer tokenizer_;
    RealTimeScanner realTime_;
};

}  // namespace quillon::escpos
