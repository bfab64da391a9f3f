// Modem input lines of an open serial port, driven through the fake terminal layer:
// one UM_LINE_STATUS per changed line, and the status word the owner window reads.

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/SerialFixture.h"
#include "transport/WorkerThreads.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

class SerialLinesTest : public SerialFixture {
  protected:
    void TearDown() override {
        for (int i = 0; i < 1000 && LiveWorkerCount() != 0; ++i)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(LiveWorkerCount(), 0);
    }
    // The line-event thread has read the lines twice from now on, so whatever changed
    // before this call has been seen and reported by then.
    void LetTheThreadSample() {
        const int from = tty_->GetLinesCalls();
        ASSERT_TRUE(window_->WaitUntil([&] { return tty_->GetLinesCalls() >= from + 2; }));
    }
    // A byte from the printer has come through, so the thread has made a whole pass (with
    // its look at the lines, where it has any to watch) from now on.
    void LetAByteThrough() {
        const std::size_t before = window_->Count(UM_RX_BYTE);
        pty_.WriteMaster("x");
        ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) > before; }));
    }
};

TEST_F(SerialLinesTest, CtsChangeAloneSendsOneLineStatusAndReadsNothing) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    LetTheThreadSample();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 0u) << "nothing changed yet";
    tty_->SetInputLines(kLineCts);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_LINE_STATUS) >= 1; }));
    LetTheThreadSample();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 1u);
    EXPECT_EQ(window_->Count(UM_RX_BYTE), 0u);
    for (const auto& m : window_->Messages()) {
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_EQ(m.lParam, 0);
    }
    CloseOnWindow(port);
}

TEST_F(SerialLinesTest, EachChangedLineIsReportedOnce) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    tty_->SetInputLines(kLineCts | kLineDsr | kLineDcd);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_LINE_STATUS) >= 3; }));
    LetTheThreadSample();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 3u);
    // The printer's cable comes off: CTS and DSR drop, the carrier stays.
    tty_->SetInputLines(kLineDcd);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_LINE_STATUS) >= 5; }));
    LetTheThreadSample();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 5u);
    // A ring is no line of ours.
    tty_->SetInputLines(kLineDcd | kLineRing);
    LetTheThreadSample();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 5u);
    CloseOnWindow(port);
}

TEST_F(SerialLinesTest, OnlyTheLinesOfTheEventMaskAreReported) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, 0, EV_RXCHAR | EV_CTS));
    tty_->SetInputLines(kLineDsr | kLineDcd);
    LetTheThreadSample();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 0u);
    tty_->SetInputLines(kLineDsr | kLineDcd | kLineCts);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_LINE_STATUS) == 1; }));
    CloseOnWindow(port);

    // Without any line event the lines are not looked at at all.
    const int calls = tty_->GetLinesCalls();
    ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, 0, EV_RXCHAR));
    LetAByteThrough();
    EXPECT_EQ(tty_->GetLinesCalls(), calls);
    CloseOnWindow(port);
}

TEST_F(SerialLinesTest, DeviceGoneDropsItsRaisedLinesOnceAndSamplingStops) {
    tty_->SetInputLines(kLineCts | kLineDsr);
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    LetTheThreadSample();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 0u);
    tty_->SetLineSupport(LineSupport::kGone);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_LINE_STATUS) >= 2; }));
    const int calls = tty_->GetLinesCalls();
    LetAByteThrough();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 2u);
    EXPECT_EQ(tty_->GetLinesCalls(), calls);
    CloseOnWindow(port);
}

TEST_F(SerialLinesTest, ModemStatusWordOfTheOpenPort) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    tty_->SetInputLines(kLineCts | kLineDsr);
    std::uint32_t status = 0xFFFF;
    EXPECT_EQ(GetCommModemStatus(port.GetSerialHandle(), &status), 1);
    EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON);
    tty_->SetInputLines(kLineDcd | kLineRing);
    EXPECT_EQ(GetCommModemStatus(port.GetSerialHandle(), &status), 1);
    EXPECT_EQ(status, MS_RLSD_ON | MS_RING_ON);
    CloseOnWindow(port);
    status = 0xFFFF;
    EXPECT_EQ(GetCommModemStatus(port.GetSerialHandle(), &status), 0);
    EXPECT_EQ(status, 0u);
}

TEST_F(SerialLinesTest, PseudoTerminalHasNoModemLinesAndTheyReadAsZero) {
    ScopedTtyLayer real(RealTtyLayer());
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    std::uint32_t status = 0xFFFF;
    EXPECT_EQ(GetCommModemStatus(port.GetSerialHandle(), &status), 0);
    EXPECT_EQ(status, 0u);
    LetAByteThrough();
    EXPECT_EQ(window_->Count(UM_LINE_STATUS), 0u);
    CloseOnWindow(port);
}

}  // namespace
