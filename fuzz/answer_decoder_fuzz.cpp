// Mixed answer streams through the decoder. The first byte picks the mode:
// - even: the virtual printer answers what the rest asks for (status and identity requests,
//   automatic status on and off, sensor changes, stray data), and the decoder, shown the same
//   requests, must take its answers apart exactly as the printer gave them, each one telling
//   the state the printer was in when it answered;
// - odd: arbitrary bytes as what was sent and what came back, which must decode without a
//   fault, every received byte handed on at most once.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "escpos/StatusReport.h"
#include "printer/VirtualPrinter.h"

using namespace quillon;
using escpos::Answer;
using escpos::Request;

namespace {

struct Given {
    std::string bytes;
    printer::PrinterState state;  // when the printer gave it
};

void Check(bool holds) {
    if (!holds)
        std::abort();
}

// What an answer says must be what the state was.
void CheckAgainst(const Answer& answer, const printer::PrinterState& s) {
    escpos::PrinterReport r;
    r.Apply(answer);
    const bool nearEnd = s.paperNearEnd && !s.paperEnd;
    if (answer.kind == Answer::Kind::kAutomatic) {
        Check(r.online == s.Online() && r.coverOpen == s.coverOpen &&
              r.drawerOpen == s.drawerOpen && r.paperOut == s.paperEnd &&
              r.paperNearEnd == nearEnd);
        return;
    }
    switch (answer.request) {
        case Request::kPrinter:
            Check(r.online == s.Online() && r.drawerOpen == s.drawerOpen);
            break;
        case Request::kOfflineCause:
            Check(r.coverOpen == s.coverOpen && r.stoppedByPaperEnd == s.paperEnd);
            break;
        case Request::kRollPaper:
        case Request::kPaperSensor:
            Check(r.paperOut == s.paperEnd && r.paperNearEnd == nearEnd);
            break;
        case Request::kDrawer:
            Check(r.drawerOpen == s.drawerOpen);
            break;
        default:
            break;
    }
}

void RoundTrip(const uint8_t* data, size_t size) {
    printer::PrinterOptions options;
    options.family = static_cast<printer::Family>(data[0] % 6);
    std::vector<Given> given;
    printer::VirtualPrinter* self = nullptr;
    printer::VirtualPrinter printer(
        options,
        [&](const uint8_t* bytes, size_t n) {
            given.push_back({std::string(reinterpret_cast<const char*>(bytes), n), self->State()});
        },
        [](printer::Page&&) {});
    self = &printer;
    escpos::AnswerDecoder decoder;
    // One moment for everything, so that no real-time request is given up as too old.
    const auto now = escpos::AnswerDecoder::Clock::now();
    std::vector<uint8_t> sent;
    // What came back so far is decoded as it comes, in pieces of a size the input picks.
    std::vector<Answer> answers;
    size_t decodedUpTo = 0;  // of the answers given, in bytes
    std::string stream;
    const size_t piece = 1 + data[0] / 6 % 7;
    auto decode = [&] {
        for (; decodedUpTo < given.size(); ++decodedUpTo)
            stream += given[decodedUpTo].bytes;
        for (size_t at = 0; at < stream.size(); at += piece) {
            decoder.Received(
                reinterpret_cast<const uint8_t*>(stream.data()) + at,
                std::min(piece, stream.size() - at), [&](const Answer& a) { answers.push_back(a); },
                now);
        }
        stream.clear();
    };
    auto send = [&](std::vector<uint8_t> bytes) {
        // No DLE EOT 7 or 8, which this printer does not answer (and which leave the
        // real-time answers around them undecoded); the other requests stay as they are.
        for (uint8_t& b : bytes) {
            const size_t n = sent.size();
            if ((b == 7 || b == 8) && n >= 2 && sent[n - 2] == 0x10 && sent[n - 1] == 0x04)
                b = 9;
            sent.push_back(b);
        }
        decoder.Sent(bytes.data(), bytes.size(), now);
        printer.Receive(bytes.data(), bytes.size());
        decode();
    };
    // At most 120 steps, so that fewer requests wait than the decoder keeps.
    size_t steps = 0;
    for (size_t i = 1; i < size && steps < 120; ++i, ++steps) {
        const uint8_t op = data[i];
        const uint8_t arg = i + 1 < size ? data[i + 1] : 0;
        switch (op >> 5) {
            case 0:
            case 1:
            case 2:
                send(escpos::RequestBytes(static_cast<Request>(op % 17)));
                break;
            case 3:
                send({0x1B, 'v'});
                break;
            case 4:
                send({0x1D, 'a', arg});
                ++i;
                break;
            case 5: {
                printer::PrinterState s;
                s.coverOpen = arg & 1;
                s.paperEnd = arg & 2;
                s.paperNearEnd = arg & 4;
                s.drawerOpen = arg & 8;
                printer.SetState(s);
                decode();
                ++i;
                break;
            }
            default: {
                // Stray data, which may hold commands of its own: up to 8 bytes.
                const size_t n = std::min<size_t>(op & 7, size - i - 1);
                send(std::vector<uint8_t>(data + i + 1, data + i + 1 + n));
                i += n;
                break;
            }
        }
    }
    printer.SetState(printer::PrinterState{});
    decode();
    // One decoded answer for each answer given, byte for byte, none left undecoded.
    Check(answers.size() == given.size());
    for (size_t k = 0; k < answers.size(); ++k) {
        Check(answers[k].kind != Answer::Kind::kUndecoded);
        Check(std::string(answers[k].bytes.begin(), answers[k].bytes.end()) == given[k].bytes);
        CheckAgainst(answers[k], given[k].state);
    }
}

void Arbitrary(const uint8_t* data, size_t size) {
    escpos::AnswerDecoder decoder;
    const size_t split = size > 1 ? data[1] % size : size;
    decoder.Sent(data, split);
    size_t handed = 0;
    decoder.Received(data + split, size - split, [&](const Answer& a) {
        handed += a.bytes.size();
        escpos::PrinterReport report;
        report.Apply(a);
        escpos::Words(report);
        escpos::PrinterIdentity identity;
        identity.Apply(a);
    });
    Check(handed <= size - split);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    if (data[0] & 1)
        Arbitrary(data, size);
    else
        RoundTrip(data, size);
    return 0;
}
