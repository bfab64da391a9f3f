// The printer's answers: real-time ones at once in every state, ordered ones only online,
// automatic status on every change.

#include <gtest/gtest.h>

#include "tests/printer/EngineHarness.h"

using namespace quillon;
using namespace quillon::printer;

namespace {

struct StateCase {
    const char* name;
    bool cover, paperEnd, nearEnd, drawer;
    std::string realTime;  // DLE EOT 1, 2, 3, 4
    std::string asb;
    std::string ordered;  // GS r 1, GS r 2, ESC v, answered once online
};

std::string X(const char* hex) {
    return Bytes(hex);
}

}  // namespace

TEST(PrinterStatus, EveryAnswerInEveryState) {
    const std::vector<StateCase> cases = {
        {"ready", false, false, false, false, X("16 12 12 12"), X("14 00 00 00"), X("00 01 00")},
        {"paper near end", false, false, true, false, X("16 12 12 1E"), X("14 00 03 00"),
         X("03 01 03")},
        {"paper end", false, true, false, false, X("1E 32 12 72"), X("1C 00 0C 00"), X("0C 01 0C")},
        {"cover open", true, false, false, false, X("1E 16 12 12"), X("3C 00 00 00"),
         X("00 01 00")},
        {"drawer open", false, false, false, true, X("12 12 12 12"), X("10 00 00 00"),
         X("00 00 00")},
    };
    for (const auto& c : cases) {
        EngineHarness h;
        h.Set(c.cover, c.paperEnd, c.nearEnd, c.drawer);
        h.Send("10 04 01 10 04 02 10 04 03 10 04 04 1D 72 01 1D 72 02 1B 76");
        const bool online = !c.cover && !c.paperEnd;
        // Offline, only the real-time requests are answered; the rest waits its turn.
        EXPECT_EQ(h.TakeAnswers(), online ? c.realTime + c.ordered : c.realTime) << c.name;
        h.Send("1D 61 0F");
        EXPECT_EQ(h.TakeAnswers(), online ? c.asb : "") << c.name;
        if (!online) {
            // Back online the held requests are answered in order, then the held GS a sends
            // its first automatic status.
            h.Set(false, false, c.nearEnd, c.drawer);
            EXPECT_EQ(h.TakeAnswers(), X("00 01 00") + X("14 00 00 00")) << c.name;
        }
    }
}

TEST(PrinterStatus, AutomaticStatusOnEnableAndOnEveryChangeUntilDisabled) {
    EngineHarness h;
    h.Send("1D 61 FF");
    EXPECT_EQ(h.TakeAnswers(), X("14 00 00 00"));
    h.Set(false, false, true);
    EXPECT_EQ(h.TakeAnswers(), X("14 00 03 00"));
    h.Set(false, true);
    EXPECT_EQ(h.TakeAnswers(), X("1C 00 0C 00"));
    h.Set(true, false);
    EXPECT_EQ(h.TakeAnswers(), X("3C 00 00 00"));
    h.Set(true, false);
    EXPECT_EQ(h.TakeAnswers(), "");  // nothing changed
    h.Set(false, false);
    EXPECT_EQ(h.TakeAnswers(), X("14 00 00 00"));
    h.Send("1B 70 00 19 FA");  // the kick opens the drawer
    EXPECT_EQ(h.TakeAnswers(), X("10 00 00 00"));
    h.Send("1D 61 01");  // drawer changes only
    EXPECT_EQ(h.TakeAnswers(), X("10 00 00 00"));
    h.Set(false, false, true, true);
    EXPECT_EQ(h.TakeAnswers(), "");
    h.Set(false, false, true, false);
    EXPECT_EQ(h.TakeAnswers(), X("14 00 03 00"));
    h.Send("1D 61 00");
    h.Set(true, false);
    EXPECT_EQ(h.TakeAnswers(), "");
}

TEST(PrinterStatus, AKickedDrawerShutsAfterItsPulseUnlessAHandHoldsItOpen) {
    using Clock = VirtualPrinter::Clock;
    using std::chrono::milliseconds;
    EngineHarness h(Family::kPosThermal, 0, /*drawerOpenMs=*/300);
    // A 100 ms kick leaves it open for the 300 ms a script is given to see it open.
    Clock::time_point before = Clock::now();
    h.Send("1B 70 00 32 32");
    Clock::time_point after = Clock::now();
    h.Send("10 04 01 1D 72 02");
    EXPECT_EQ(h.TakeAnswers(), X("12 00")) << "DLE EOT 1 and GS r 2 say open";
    EXPECT_GE(h.printer.DrawerShuts(), before + milliseconds(300));
    EXPECT_LE(h.printer.DrawerShuts(), after + milliseconds(300));
    // A real-time pulse of 800 ms while it stands open keeps it open for that long.
    before = Clock::now();
    h.Send("10 14 01 00 08");
    after = Clock::now();
    const Clock::time_point shuts = h.printer.DrawerShuts();
    EXPECT_GE(shuts, before + milliseconds(800));
    EXPECT_LE(shuts, after + milliseconds(800));
    h.printer.Tick(shuts - milliseconds(1));
    h.Send("10 04 01");
    EXPECT_EQ(h.TakeAnswers(), X("12"));
    h.printer.Tick(shuts);
    h.Send("10 04 01 1D 72 02");
    EXPECT_EQ(h.TakeAnswers(), X("16 01")) << "shut once the pulse is over";
    EXPECT_EQ(h.printer.DrawerShuts(), Clock::time_point::max());

    // Opened by hand, a kick's time does not shut it; nor one that a kick had opened and a
    // hand then held.
    h.Set(false, false, false, true);
    h.Send("1B 70 00 32 32");
    EXPECT_EQ(h.printer.DrawerShuts(), Clock::time_point::max());
    h.Set(false, false, false, false);
    h.Send("1B 70 00 32 32");
    PrinterState held = h.printer.State();
    ASSERT_TRUE(held.drawerOpen);
    h.printer.SetState(held, /*drawerByHand=*/true);
    h.Send("1B 70 00 FF FF");
    h.printer.Tick(Clock::now() + std::chrono::hours(1));
    h.Send("10 04 01");
    EXPECT_EQ(h.TakeAnswers(), X("12")) << "held open past every pulse";
    h.Set(false, false, false, false);
    h.printer.Tick(Clock::now() + std::chrono::hours(1));
    h.Send("10 04 01");
    EXPECT_EQ(h.TakeAnswers(), X("16")) << "shut by hand";
}

TEST(PrinterStatus, IdentityAnswersAreOneByteOrAnUnderscoreBlock) {
    EngineHarness h;
    h.Send("1D 49 01 1D 49 32 1D 49 03 1D 49 41 1D 49 42 1D 49 43 1D 49 44 1D 49 45 1D 49 07");
    EXPECT_EQ(h.TakeAnswers(), X("20 03 01") + std::string("_1.00\0_QUILLON\0_QV-80T\0", 23) +
                                   std::string("_QV0000001\0_CHINA GB18030\0", 26));
    // No family's one-byte identity can be taken for a status byte: bits 4 and 7 clear,
    // where DLE EOT answers (0xx1xx10) and automatic status (0xx1xx00) have bit 4 set.
    for (Family family : {Family::kPosThermal, Family::kPosImpact, Family::kPortableThermal,
                          Family::kPortableImpact, Family::kMicroThermal, Family::kMicroImpact})
        for (int n : {1, 2, 3, 49, 50, 51}) {
            const std::string answer = IdentityAnswer(family, n);
            ASSERT_EQ(answer.size(), 1u);
            EXPECT_EQ(answer[0] & 0x90, 0) << FamilyName(family) << " GS I " << n;
        }
}

TEST(PrinterStatus, RealTimeRequestInsidePendingRasterIsAnsweredAndStaysImageData) {
    EngineHarness h;
    h.Send("1D 76 30 00 02 00 04 00 FF 00 FF");  // 2 x 4 bytes declared, 3 sent
    h.Send("10 04 01");
    EXPECT_EQ(h.TakeAnswers(), X("16"));  // answered before the image is complete
    h.Send("00 FF 'after' 0A");
    const auto images = h.All<ImageBlock>();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].raster.bits, (std::vector<uint8_t>{0xFF, 0, 0xFF, 0x10, 4, 1, 0, 0xFF}));
    EXPECT_EQ(Chars(h.All<TextLine>().at(0)), U"after");
    EXPECT_EQ(h.TakeAnswers(), "");  // and it is not answered a second time
}

TEST(PrinterStatus, EachConnectionHasItsOwnCommandInProgressAndItsEndEndsIt) {
    EngineHarness h;
    auto send = [&](int source, const std::string& hex) {
        const std::string bytes = Bytes(hex);
        h.printer.Receive(source, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    };
    send(1, "1D 76 30 00 02 00 02 00 FF 00");  // an image, half sent
    send(2, "1D 49 01 'two' 0A 10 04 01");     // another connection meanwhile
    EXPECT_EQ(h.TakeAnswers(), X("16 20"));
    send(1, "00 FF 'one' 0A");  // the rest of the image
    const auto images = h.All<ImageBlock>();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].raster.bits, (std::vector<uint8_t>{0xFF, 0, 0, 0xFF}));

    // A connection that ends inside a command leaves nothing of it for the next one, also
    // when the end waits with the data while the printer is offline.
    send(3, "1D 76 30 00 10 00 10 00 01 02");
    h.printer.EndConnection(3);
    send(3, "1D 49 02 'three' 0A");
    h.Set(true, false);
    send(4, "1D 28 6B 10 00 31");
    h.printer.EndConnection(4);
    send(4, "1D 49 03 'four' 0A");
    h.Set(false, false);
    EXPECT_EQ(h.TakeAnswers(), X("03 01"));
    std::vector<std::u32string> lines;
    for (const auto& line : h.All<TextLine>())
        lines.push_back(Chars(line));
    EXPECT_EQ(lines, (std::vector<std::u32string>{U"two", U"one", U"three", U"four"}));
}

TEST(PrinterStatus, DataHeldWhileOfflineStopsReadingAtItsLimitAndPrintsWhenBackOnline) {
    EngineHarness h;
    h.Set(true, false);
    h.Send("'held' 0A");
    EXPECT_TRUE(h.All<TextLine>().empty());
    h.printer.Receive(std::string(VirtualPrinter::kHoldLimit, '\0'));
    EXPECT_TRUE(h.printer.Backlogged());
    h.Set(false, false);
    EXPECT_FALSE(h.printer.Backlogged());
    EXPECT_EQ(Chars(h.All<TextLine>().at(0)), U"held");
}
