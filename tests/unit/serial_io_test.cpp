// Bytes through a serial port opened with OpenSerial, with a pseudo-terminal as the
// printer: order, counts, discarded input, a printer that stops reading or holds flow
// control off, and a device that goes away under the open port.

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "tests/support/SerialFixture.h"
#include "transport/WorkerThreads.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

std::string AllByteValues() {
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<char>(i));
    return bytes;
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 509) & 0xFF);
    return bytes;
}

// CPU time of the whole process, in seconds.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU the process burns over one second while the test itself only sleeps.
double CpuOverOneSecond() {
    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(1s);
    return ProcessCpuSeconds() - before;
}

std::vector<WPARAM> TxDoneCounts(const TestWindow& window) {
    std::vector<WPARAM> counts;
    for (const auto& m : window.Messages())
        if (m.message == UM_TX_DONE)
            counts.push_back(m.wParam);
    return counts;
}

int QueuedInput(int fd) {
    int queued = -1;
    ioctl(fd, FIONREAD, &queued);
    return queued;
}

class SerialIoTest : public SerialFixture {
  protected:
    void TearDown() override {
        for (int i = 0; i < 1000 && LiveWorkerCount() != 0; ++i)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(LiveWorkerCount(), 0) << "a line-event thread did not end after Close";
    }
};

TEST_F(SerialIoTest, BytesGoBothWaysInOrder) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    const std::string all = AllByteValues();

    pty_.WriteMaster(all);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) == 256; }));
    // One message per byte, in order, each byte as 0 to 255 (never sign-widened).
    std::vector<WPARAM> received;
    for (const auto& m : window_->Messages())
        if (m.message == UM_RX_BYTE)
            received.push_back(m.wParam);
    for (std::size_t i = 0; i < received.size(); ++i)
        ASSERT_EQ(received[i], i) << "byte " << i;

    SendOnWindow(port, all);
    EXPECT_EQ(pty_.ReadMaster(256), all);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 1; }));
    EXPECT_EQ(TxDoneCounts(*window_), std::vector<WPARAM>{256});
    CloseOnWindow(port);
}

TEST_F(SerialIoTest, ALongAnswerArrivesWholeAndInOrderInLargeBlocks) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    const std::string answer = Pattern(1 << 18);
    pty_.WriteMaster(answer);
    ASSERT_TRUE(
        window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) == answer.size(); }, 30s));
    EXPECT_EQ(window_->ReceivedBytes(), answer);
    // Read a few KiB at a time and handed over a block at a time, not byte by byte.
    EXPECT_LT(window_->BlockCount(), answer.size() / 1024);
    CloseOnWindow(port);
}

TEST_F(SerialIoTest, EachSendIsOneReportedBlockNamedByItsIdQuietOnesMarkedSo) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    const std::string big = Pattern(10000);
    SendOnWindow(port, big);
    SendOnWindow(port, "tail");
    EXPECT_EQ(pty_.ReadMaster(big.size() + 4), big + "tail");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 2; }));
    EXPECT_EQ(TxDoneCounts(*window_), (std::vector<WPARAM>{10000, 4}));

    port.setQuietSend(1);
    std::uint64_t quiet = 0;
    window_->Invoke([&] { quiet = port.Send("quiet", 5); });
    SendOnWindow(port, std::string());  // wakes the thread, writes nothing
    EXPECT_EQ(pty_.ReadMaster(5), "quiet");
    port.setQuietSend(0);
    std::uint64_t loud = 0;
    window_->Invoke([&] { loud = port.Send("loud", 4); });
    EXPECT_EQ(pty_.ReadMaster(4), "loud");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 5; }));
    // Every block is reported, in order, by the id Send gave it: the quiet one marked so
    // (the owner does not count it), the empty one with nothing written.
    const std::vector<SendReport> reports = window_->Reports();
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_EQ(reports[2].block, quiet);
    EXPECT_TRUE(reports[2].quiet);
    EXPECT_EQ(reports[2].outcome.count, 5u);
    EXPECT_EQ(reports[3].block, quiet + 1);
    EXPECT_EQ(reports[3].length, 0u);
    EXPECT_EQ(reports[4].block, loud);
    EXPECT_FALSE(reports[4].quiet);
    for (const SendReport& report : reports) {
        EXPECT_EQ(report.outcome.count, report.length);
        EXPECT_FALSE(report.outcome.failed());
    }
    EXPECT_EQ(TxDoneCounts(*window_), (std::vector<WPARAM>{10000, 4, 5, 0, 4}));
    CloseOnWindow(port);
}

TEST_F(SerialIoTest, SendDiscardsReceivedBytesNotYetRead) {
    CommonUtils port;
    // Without EV_RXCHAR nobody reads, so the bytes stay queued until the send.
    ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, 0, EV_CTS | EV_DSR | EV_RLSD));
    pty_.WriteMaster("stale");
    const int fd = port.GetSerialHandle();
    ASSERT_TRUE(window_->WaitUntil([&] { return QueuedInput(fd) == 5; }));
    SendOnWindow(port, "x");
    EXPECT_EQ(pty_.ReadMaster(1), "x");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 1; }));
    EXPECT_EQ(QueuedInput(fd), 0);
    EXPECT_EQ(window_->Count(UM_RX_BYTE), 0u);
    CloseOnWindow(port);
}

// The lengths of the printer's holds the owner heard of, in order (0: it takes again).
std::vector<WPARAM> Holds(const TestWindow& window) {
    std::vector<WPARAM> holds;
    for (const auto& m : window.Messages())
        if (m.message == UM_TX_HELD)
            holds.push_back(m.wParam);
    return holds;
}

TEST_F(SerialIoTest, APrinterThatHoldsTheLineIsWaitedOutHeardMeanwhileAndNothingIsDropped) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, /*XON/XOFF*/ 1));
    pty_.WriteMaster("\x13");  // XOFF: a paper change
    std::this_thread::sleep_for(100ms);
    SendOnWindow(port, "held");
    // Well past any write time-out: the block still waits, and the owner hears for how long.
    ASSERT_TRUE(window_->WaitUntil(
        [&] { return !Holds(*window_).empty() && Holds(*window_).back() >= 3000; }, 20s));
    EXPECT_EQ(window_->Count(UM_TX_DONE), 0u);
    // The printer's answers and its lines still reach the owner while the block waits.
    ASSERT_EQ(window_->Count(UM_LINE_STATUS), 0u);
    pty_.WriteMaster("paper out");
    tty_->SetInputLines(kLineCts);
    EXPECT_TRUE(window_->WaitUntil([&] {
        return window_->ReceivedBytes() == "paper out" && window_->Count(UM_LINE_STATUS) == 1;
    }));
    EXPECT_EQ(window_->Count(UM_TX_DONE), 0u);
    EXPECT_NE(Holds(*window_).back(), 0u) << "the block is still held";
    // The window's thread stays free meanwhile.
    bool answered = false;
    window_->Invoke([&] { answered = true; });
    EXPECT_TRUE(answered);
    pty_.WriteMaster("\x11");  // XON: the cover is shut
    SendOnWindow(port, "next");
    EXPECT_EQ(pty_.ReadMaster(8), "heldnext");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 2; }));
    EXPECT_EQ(TxDoneCounts(*window_), (std::vector<WPARAM>{4, 4}));
    const std::vector<WPARAM> holds = Holds(*window_);
    EXPECT_GE(holds.front(), 1000u);
    EXPECT_EQ(holds.back(), 0u) << "the owner hears that the printer takes again";
    EXPECT_EQ(window_->ReceivedBytes(), "paper out") << "XON and XOFF are flow control, not data";

    // A printer that stops reading a large block is waited for just the same: once it
    // reads again every byte arrives and the block is reported whole.
    const std::string huge = Pattern(1 << 20);
    SendOnWindow(port, huge);
    ASSERT_TRUE(window_->WaitUntil([&] { return Holds(*window_).size() > holds.size(); }, 20s));
    EXPECT_EQ(pty_.ReadMaster(huge.size()), huge);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 3; }, 30s));
    EXPECT_EQ(TxDoneCounts(*window_).back(), huge.size());
    CloseOnWindow(port);
}

TEST_F(SerialIoTest, CloseWhileAWriteWaitsForRoomEndsTheThreadAtOnce) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, 1));
    pty_.WriteMaster("\x13");
    std::this_thread::sleep_for(100ms);
    SendOnWindow(port, Pattern(5000));
    std::this_thread::sleep_for(200ms);
    CloseOnWindow(port);
    // Well inside the write time-out: the stop event cut the wait short.
    for (int i = 0; i < 300 && LiveWorkerCount() != 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(LiveWorkerCount(), 0);
    EXPECT_EQ(window_->Count(UM_TX_DONE), 0u);
}

TEST_F(SerialIoTest, IdlePortWithoutModemLinesUsesNoCpu) {
    tty_->SetLineSupport(LineSupport::kUnsupported);
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    std::this_thread::sleep_for(100ms);
    const int calls = tty_->GetLinesCalls();
    EXPECT_LT(CpuOverOneSecond(), 0.25);
    EXPECT_EQ(tty_->GetLinesCalls(), calls) << "no sampling of lines the device lacks";
    CloseOnWindow(port);
}

TEST_F(SerialIoTest, PrinterSideClosingEndsCleanlyWithoutSpinning) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1));
    pty_.WriteMaster("ok");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) == 2; }));
    pty_.CloseMaster();  // the adapter is pulled out: the tty hangs up
    std::this_thread::sleep_for(200ms);
    EXPECT_LT(CpuOverOneSecond(), 0.25);
    EXPECT_NE(port.commRunId(), 0u) << "the thread waits for Close";
    SendOnWindow(port, "lost");
    // The write fails, and the owner learns why and that nothing went out.
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 1; }));
    const SendReport report = window_->Reports().at(0);
    EXPECT_EQ(report.length, 4u);
    EXPECT_EQ(report.outcome.count, 0u);
    EXPECT_TRUE(report.outcome.failed());
    EXPECT_EQ(window_->Count(UM_RX_BYTE), 2u);
    CloseOnWindow(port);
    EXPECT_EQ(port.GetSerialHandle(), -1);
    EXPECT_EQ(port.portKind(), kPortNone);
}

TEST_F(SerialIoTest, RemovedDeviceNodeLeavesTheOpenPortWorkingAndClosable) {
    const std::string node = root_.path() + "/dev/ttyFAKE0";
    LinkNode(node, pty_.slavePath());
    WriteMap("COM3=" + node + "\n");
    CommonUtils port;
    ASSERT_TRUE(Open(port, 3));
    ASSERT_EQ(unlink(node.c_str()), 0);
    SendOnWindow(port, "still");
    EXPECT_EQ(pty_.ReadMaster(5), "still");
    CloseOnWindow(port);
    const OpenOutcome reopened = Open(port, 3);
    EXPECT_EQ(reopened.step, OpenStep::kDevice);
    EXPECT_EQ(reopened.error, ENOENT) << "the node has gone";
    EXPECT_EQ(reopened.device, node);
    EXPECT_TRUE(window_->MessageBoxes().empty()) << "the transport shows nothing itself";
}

TEST_F(SerialIoTest, CloseAndReopenFromTheTxDoneHandlerLeavesOneThread) {
    CommonUtils port;
    std::optional<OpenOutcome> reopened;
    window_->SetHandler([&](unsigned message, WPARAM, LPARAM) -> LRESULT {
        if (message == UM_TX_DONE && !reopened) {
            port.Close();
            reopened = port.OpenSerial(window_, 1, 9600, 'N', 8, 1, 0, kAllEvents, 1, 1);
        }
        return 0;
    });
    ASSERT_TRUE(Open(port, 1));
    SendOnWindow(port, "first");
    EXPECT_EQ(pty_.ReadMaster(5), "first");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 1; }));
    window_->Invoke([] {});
    ASSERT_TRUE(reopened.has_value());
    EXPECT_TRUE(*reopened);
    for (int i = 0; i < 1000 && LiveWorkerCount() != 1; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(LiveWorkerCount(), 1);
    pty_.WriteMaster("B");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->ReceivedBytes() == "B"; }));
    SendOnWindow(port, "second");
    EXPECT_EQ(pty_.ReadMaster(6), "second");
    CloseOnWindow(port);
}

TEST_F(SerialIoTest, TransportDestroyedWhileItsThreadDeliversEndsCleanly) {
    auto port = std::make_unique<CommonUtils>();
    window_->SetHandler([&](unsigned message, WPARAM, LPARAM) -> LRESULT {
        if (message == UM_RX_BYTE)
            port.reset();  // the window lets go of its transport inside the message
        return 0;
    });
    ASSERT_TRUE(Open(*port, 1));
    pty_.WriteMaster("abc");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) >= 1; }));
    window_->Invoke([] {});
    EXPECT_EQ(window_->Count(UM_RX_BYTE), 1u) << "nothing is delivered once closed";
}

TEST_F(SerialIoTest, DirectSendToAPrinterThatNeverReadsReturns) {
    CommonUtils port;
    ASSERT_TRUE(port.OpenSerialByText(1, "9600,N,8,1"));
    const std::string huge = Pattern(1 << 20);
    auto done = std::async(std::launch::async,
                           [&] { port.SendDirect(huge.data(), static_cast<int>(huge.size())); });
    ASSERT_EQ(done.wait_for(60s), std::future_status::ready) << "SendDirect hangs";
    EXPECT_GT(port.bytesWritten(), 0u);
    EXPECT_LT(port.bytesWritten(), huge.size());
    EXPECT_EQ(pty_.DrainMaster(500).size(), port.bytesWritten());
    port.Close();
}

}  // namespace
