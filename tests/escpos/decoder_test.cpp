// Decoding what a printer sends back: every answer of the virtual printer in each of its
// states comes back as the words for that state, mixed streams come apart as the printer put
// them together, and bytes that answer nothing asked stay undecoded.

#include <gtest/gtest.h>

#include "escpos/StatusReport.h"
#include "tests/printer/EngineHarness.h"

using namespace quillon;
using namespace quillon::escpos;

namespace {

using W = StatusWord;

struct Decoded {
    std::vector<Answer> answers;
    // The answers' kinds and requests, for comparing a whole stream at a glance.
    std::string Outline() const {
        std::string s;
        for (const Answer& a : answers) {
            switch (a.kind) {
                case Answer::Kind::kStatus:
                    s += "S" + std::to_string(static_cast<int>(a.request));
                    break;
                case Answer::Kind::kAutomatic:
                    s += "A";
                    break;
                case Answer::Kind::kText:
                    s += "T" + std::to_string(static_cast<int>(a.request));
                    break;
                case Answer::Kind::kFlowControl:
                    s += "F";
                    break;
                case Answer::Kind::kUndecoded:
                    s += "U" + std::to_string(a.bytes.size());
                    break;
            }
            s += ' ';
        }
        return s;
    }
};

using Clock = AnswerDecoder::Clock;

void Send(AnswerDecoder& decoder, const std::string& bytes, Clock::time_point now = Clock::now()) {
    decoder.Sent(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), now);
}

// Feeds `bytes` in pieces of `piece` bytes.
Decoded Receive(AnswerDecoder& decoder, const std::string& bytes, size_t piece = 1 << 20,
                Clock::time_point now = Clock::now()) {
    Decoded d;
    for (size_t i = 0; i < bytes.size(); i += piece) {
        decoder.Received(
            reinterpret_cast<const uint8_t*>(bytes.data()) + i, std::min(piece, bytes.size() - i),
            [&d](const Answer& a) { d.answers.push_back(a); }, now);
    }
    return d;
}

struct StateCase {
    const char* name;
    bool cover, paperEnd, nearEnd, drawer;
    std::vector<W> realTime;   // DLE EOT 1 to 4
    std::vector<W> automatic;  // automatic status back
};

TEST(AnswerDecoder, EveryAnswerOfTheVirtualPrinterInEachStateDecodesToItsWords) {
    const std::vector<StateCase> cases = {
        {"ready",
         false,
         false,
         false,
         false,
         {W::kOnline, W::kCoverClosed, W::kPaperOk, W::kDrawerClosed},
         {W::kOnline, W::kCoverClosed, W::kPaperOk, W::kDrawerClosed}},
        {"cover open",
         true,
         false,
         false,
         false,
         {W::kOffline, W::kCoverOpen, W::kPaperOk, W::kDrawerClosed},
         {W::kOffline, W::kCoverOpen, W::kPaperOk, W::kDrawerClosed}},
        {"paper near end",
         false,
         false,
         true,
         false,
         {W::kOnline, W::kCoverClosed, W::kPaperNearEnd, W::kDrawerClosed},
         {W::kOnline, W::kCoverClosed, W::kPaperNearEnd, W::kDrawerClosed}},
        {"paper out",
         false,
         true,
         false,
         false,
         {W::kOffline, W::kCoverClosed, W::kPaperOut, W::kDrawerClosed, W::kStoppedByPaperEnd},
         {W::kOffline, W::kCoverClosed, W::kPaperOut, W::kDrawerClosed}},
        {"drawer open",
         false,
         false,
         false,
         true,
         {W::kOnline, W::kCoverClosed, W::kPaperOk, W::kDrawerOpen},
         {W::kOnline, W::kCoverClosed, W::kPaperOk, W::kDrawerOpen}},
        {"offline: cover open and paper out",
         true,
         true,
         true,
         false,
         {W::kOffline, W::kCoverOpen, W::kPaperOut, W::kDrawerClosed, W::kStoppedByPaperEnd},
         {W::kOffline, W::kCoverOpen, W::kPaperOut, W::kDrawerClosed}},
    };
    const std::string ask = "10 04 01 10 04 02 10 04 03 10 04 04 1D 72 01 1D 72 02 1B 76";
    for (const auto& c : cases) {
        for (const size_t piece : {size_t{1}, size_t{3}, size_t{1} << 20}) {
            EngineHarness h;
            AnswerDecoder decoder;
            // Automatic status on while ready, then the state changes, then every request.
            Send(decoder, Bytes("1D 61 0F"));
            h.Send("1D 61 0F");
            h.Set(c.cover, c.paperEnd, c.nearEnd, c.drawer);
            Send(decoder, Bytes(ask));
            h.Send(ask);
            const bool online = !c.cover && !c.paperEnd;
            const bool changed = c.cover || c.paperEnd || c.nearEnd || c.drawer;
            const Decoded d = Receive(decoder, h.TakeAnswers(), piece);
            // Automatic status on enabling and on the change, the four real-time answers, and
            // while online the paper, drawer and paper answers in turn; nothing undecoded.
            EXPECT_EQ(d.Outline(), std::string(changed ? "A A " : "A ") + "S0 S1 S2 S3 " +
                                       (online ? "S7 S8 S7 " : ""))
                << c.name << " in pieces of " << piece;

            PrinterReport realTime, automatic, ordered;
            for (const Answer& a : d.answers) {
                if (a.kind == Answer::Kind::kAutomatic)
                    automatic.Apply(a);  // the last one tells the state now
                else if (IsRealTime(a.request))
                    realTime.Apply(a);
                else
                    ordered.Apply(a);
            }
            EXPECT_EQ(Words(realTime), c.realTime) << c.name;
            EXPECT_EQ(Words(automatic), c.automatic) << c.name;
            // GS r and ESC v say what DLE EOT says of the paper and the drawer.
            std::vector<W> paperAndDrawer;
            for (const W w : c.realTime)
                if (w == W::kPaperOk || w == W::kPaperNearEnd || w == W::kPaperOut ||
                    w == W::kDrawerOpen || w == W::kDrawerClosed)
                    paperAndDrawer.push_back(w);
            if (online) {
                EXPECT_EQ(Words(ordered), paperAndDrawer) << c.name;
            } else {
                // Back online: the automatic status of the change, then the held GS r and
                // ESC v are answered.
                h.Set(false, false, c.nearEnd, c.drawer);
                const Decoded later = Receive(decoder, h.TakeAnswers(), piece);
                EXPECT_EQ(later.Outline(), "A S7 S8 S7 ") << c.name;
            }
            EXPECT_EQ(decoder.Waiting(), 0u) << c.name;
        }
    }
}

TEST(AnswerDecoder, IdentityOfEachFamily) {
    const std::pair<printer::Family, const char*> families[] = {
        {printer::Family::kPosThermal, "QV-80T"},
        {printer::Family::kMicroImpact, "QV-58MI"},
    };
    for (const auto& [family, model] : families) {
        EngineHarness h(family);
        AnswerDecoder decoder;
        std::string ask;
        for (const Request r : kIdentityRequests) {
            const auto bytes = RequestBytes(r);
            ask.append(bytes.begin(), bytes.end());
        }
        Send(decoder, ask);
        h.printer.Receive(ask);
        PrinterIdentity id;
        const Decoded d = Receive(decoder, h.TakeAnswers(), 2);
        for (const Answer& a : d.answers)
            EXPECT_TRUE(id.Apply(a)) << d.Outline();
        EXPECT_EQ(id.modelId, family == printer::Family::kPosThermal ? 0x20 : 0x25);
        EXPECT_EQ(HasAutocutter(id.typeId.value_or(0)), family == printer::Family::kPosThermal);
        EXPECT_TRUE(MultiByteCharacters(id.typeId.value_or(0)));
        EXPECT_EQ(id.versionId, 0x01);
        EXPECT_EQ(id.firmware, "1.00");
        EXPECT_EQ(id.maker, "QUILLON");
        EXPECT_EQ(id.modelName, model);
        EXPECT_EQ(id.serialNumber, "QV0000001");
        EXPECT_EQ(id.fonts, "CHINA GB18030");
        EXPECT_EQ(decoder.Waiting(), 0u);
    }
}

TEST(AnswerDecoder, WhatWasNotAskedForStaysUndecoded) {
    AnswerDecoder decoder;
    // Nothing asked: a status-shaped byte, automatic-status-shaped bytes and XOFF are data.
    EXPECT_EQ(Receive(decoder, Bytes("16 14 00 00 00 13 5F 41 00")).Outline(), "U9 ");

    // Asked DLE EOT 1: an 'A' (the shape of an ordered answer) is not its answer, 0x16 is.
    Send(decoder, Bytes("10 04 01"));
    Decoded d = Receive(decoder, Bytes("41 16 16"));
    EXPECT_EQ(d.Outline(), "U1 S0 U1 ");

    // The answer is late and the asker has given up: it is not taken for the next request's.
    Send(decoder, Bytes("10 04 02"));
    decoder.ForgetRequests();
    Send(decoder, Bytes("10 04 04"));
    d = Receive(decoder, Bytes("12"));
    ASSERT_EQ(d.Outline(), "S3 ");
    EXPECT_EQ(d.answers[0].request, Request::kRollPaper);

    // DLE EOT 8, which many printers ignore, then DLE EOT 1: an answer may be either's, so
    // neither is guessed at. A real-time request unanswered for long was not answered.
    Send(decoder, Bytes("10 04 08 03 10 04 01"));
    EXPECT_EQ(Receive(decoder, Bytes("16 16")).Outline(), "U2 ");
    const auto then = AnswerDecoder::Clock::now();
    Send(decoder, Bytes("10 04 01"), then);
    const auto later = then + AnswerDecoder::kRealTimeWait + std::chrono::seconds(1);
    EXPECT_EQ(Receive(decoder, Bytes("16"), 1, later).Outline(), "U1 ");

    // Automatic status on: a first byte followed by one that cannot follow it is no
    // automatic status; the byte that broke it is read afresh (here as XON).
    Send(decoder, Bytes("1D 61 01"));
    d = Receive(decoder, Bytes("14 00 11 14 00 00 00"));
    EXPECT_EQ(d.Outline(), "U2 F A ");

    // Ordered answers come in order, so an unanswered GS I 65 before a GS r 1 is skipped
    // once the one-byte answer comes, and the text that arrives after it answers nothing.
    Send(decoder, Bytes("1D 61 00 1D 49 41 1D 72 01"));
    d = Receive(decoder, Bytes("0C 5F 31 00"));
    EXPECT_EQ(d.Outline(), "S7 U3 ");
    PrinterReport report;
    report.Apply(d.answers[0]);
    EXPECT_EQ(Words(report), (std::vector<W>{W::kPaperOut}));

    // A text that never ends is no answer; what follows it is read again.
    Send(decoder, Bytes("1D 49 42"));
    d = Receive(decoder, "_" + std::string(AnswerDecoder::kMaxText + 1, 'x'));
    EXPECT_EQ(d.Outline(), "U" + std::to_string(AnswerDecoder::kMaxText + 2) + " ");
}

TEST(RequestScanner, FindsRequestsWhereThePrinterFindsThem) {
    AnswerDecoder decoder;
    // DLE EOT inside an image's data is a request (the printer answers it at once); GS r 1
    // inside it is image data. After the image: GS r '2', ESC v, GS I '1', DLE EOT 7 1.
    Send(decoder, Bytes("1D 76 30 00 04 00 01 00 10 04 03 1D 72 01 00 1D 72 32 1B 76 1D 49 31"
                        " 10 04 07 01"));
    EXPECT_EQ(decoder.Waiting(), 5u);
    const Decoded d = Receive(decoder, Bytes("12 00 03 20 5A"));
    EXPECT_EQ(d.Outline(), "S2 S8 S7 S9 S4 ");
    PrinterReport report;
    for (const Answer& a : d.answers)
        report.Apply(a);
    EXPECT_EQ(Words(report), (std::vector<W>{W::kPaperNearEnd, W::kDrawerOpen, W::kInkOut}));
}

}  // namespace
