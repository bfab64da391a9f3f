// USB printer and parallel ports: what goes out, what comes back, which workers run.

#include <gtest/gtest.h>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/PortFixture.h"
#include "transport/DiagnosticLog.h"
#include "transport/WorkerThreads.h"
#include "transport/platform/FdIo.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

std::mutex pieceLock;
std::vector<std::size_t> pieces;

ssize_t RecordingWrite(int fd, const void* data, std::size_t length) {
    const ssize_t n = ::write(fd, data, length);
    if (n > 0) {
        std::lock_guard lock(pieceLock);
        pieces.push_back(length);
    }
    return n;
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

bool WaitForWorkers(int count) {
    for (int i = 0; i < 1000 && LiveWorkerCount() != count; ++i)
        std::this_thread::sleep_for(5ms);
    return LiveWorkerCount() == count;
}

class DevicePortTest : public PortFixture {
  protected:
    void SetUp() override { ASSERT_TRUE(WaitForWorkers(0)) << "workers left from an earlier test"; }
    void TearDown() override {
        SetDeviceWriteCall(nullptr);
        EXPECT_TRUE(WaitForWorkers(0)) << "a worker did not end after Close";
    }
};

TEST_F(DevicePortTest, UsbBlockGoesOutIn4096PiecesAndIsReportedOnce) {
    {
        std::lock_guard lock(pieceLock);
        pieces.clear();
    }
    SetDeviceWriteCall(&RecordingWrite);
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    EXPECT_EQ(port.portKind(), kPortUsb);
    const std::string block = Pattern(10000);
    SendOnWindow(port, block);
    EXPECT_EQ(usb_.ReadMaster(block.size()), block);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 1; }));
    const auto done = window_->Messages();
    for (const auto& m : done) {
        if (m.message == UM_TX_DONE) {
            EXPECT_EQ(m.wParam, 10000u);
        }
    }
    {
        std::lock_guard lock(pieceLock);
        EXPECT_EQ(pieces, (std::vector<std::size_t>{4096, 4096, 1808}));
    }
    EXPECT_EQ(port.bytesWritten(), 1808u);
    window_->Invoke([&] { port.Close(); });
}

TEST_F(DevicePortTest, QuietSendIsReportedAsQuiet) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    port.setQuietSend(1);
    const std::string block = Pattern(10000);
    SendOnWindow(port, block);
    EXPECT_EQ(usb_.ReadMaster(block.size()), block);
    // A reported send afterwards proves the writer is past the quiet block.
    port.setQuietSend(0);
    SendOnWindow(port, "AB");
    EXPECT_EQ(usb_.ReadMaster(2), "AB");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 2; }));
    const std::vector<SendReport> reports = window_->Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].quiet);
    EXPECT_EQ(reports[0].outcome.count, block.size());
    EXPECT_FALSE(reports[1].quiet);
    EXPECT_EQ(reports[1].outcome.count, 2u);
    window_->Invoke([&] { port.Close(); });
    EXPECT_EQ(port.quietSend(), 0);
}

TEST_F(DevicePortTest, EmptySendWritesNothingAndIsReportedSo) {
    CommonUtils port;
    ASSERT_TRUE(OpenParallelOnWindow(port));
    SendOnWindow(port, "");
    SendOnWindow(port, "xyz");
    EXPECT_EQ(parallel_.ReadMaster(3), "xyz");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 2; }));
    const std::vector<SendReport> reports = window_->Reports();
    EXPECT_EQ(reports[0].length, 0u);
    EXPECT_EQ(reports[0].outcome.count, 0u);
    EXPECT_FALSE(reports[0].outcome.failed());
    EXPECT_EQ(reports[1].outcome.count, 3u);
    window_->Invoke([&] { port.Close(); });
}

TEST_F(DevicePortTest, SendsAreWrittenInOrderNoneLost) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    std::string expected;
    window_->Invoke([&] {
        for (int i = 0; i < 200; ++i) {
            const std::string piece = "<" + std::to_string(i) + ">";
            expected += piece;
            port.Send(piece.data(), static_cast<int>(piece.size()));
        }
    });
    EXPECT_EQ(usb_.ReadMaster(expected.size()), expected);
    EXPECT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 200; }));
    window_->Invoke([&] { port.Close(); });
}

TEST_F(DevicePortTest, WriteOnlyUsbPrinterGetsNoReader) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kWriteOnlyUsbPath));
    EXPECT_EQ(port.readBack(), 0);
    EXPECT_NE(port.writeRunId(), 0u);
    EXPECT_EQ(port.readRunId(), 0u);
    usb_.WriteMaster("ignored");
    SendOnWindow(port, "hi");
    EXPECT_EQ(usb_.ReadMaster(2), "hi");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(window_->Count(UM_RX_BYTE), 0u);
    window_->Invoke([&] { port.Close(); });
    EXPECT_EQ(port.readBack(), 1);
}

TEST_F(DevicePortTest, OnlyBothIdsTogetherMakeAPrinterWriteOnly) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, "/dev/usb/lp0#usb#vid_067b&pid_2303#1-3:1.0"));
    EXPECT_EQ(port.readBack(), 1);
    EXPECT_NE(port.readRunId(), 0u);
    window_->Invoke([&] { port.Close(); });
    // The ids are matched as written: upper case is another device.
    ASSERT_TRUE(OpenUsbOnWindow(port, "/dev/usb/lp0#usb#VID_067B&PID_2305#1-3:1.0"));
    EXPECT_EQ(port.readBack(), 1);
    window_->Invoke([&] { port.Close(); });
}

TEST_F(DevicePortTest, UsbBytesArriveInOrderWithTheirLow8Bits) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    std::string all;
    for (int round = 0; round < 40; ++round)
        for (int b = 255; b >= 0; --b)
            all.push_back(static_cast<char>(b));
    usb_.WriteMaster(all);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) == all.size(); }, 30s));
    EXPECT_EQ(window_->ReceivedBytes(), all);
    // The reader widens a byte with its sign; the low 8 bits are the byte.
    EXPECT_EQ(window_->Messages().front().wParam, static_cast<WPARAM>(-1));
    // Each pass takes all that is waiting, not 256 bytes at a time.
    EXPECT_LT(window_->BlockCount(), all.size() / 256);
    window_->Invoke([&] { port.Close(); });
}

TEST_F(DevicePortTest, ParallelPortHasAWriterAndNoReader) {
    CommonUtils port;
    ASSERT_TRUE(OpenParallelOnWindow(port, "LPT1"));
    EXPECT_EQ(port.portKind(), kPortParallel);
    EXPECT_NE(port.writeRunId(), 0u);
    EXPECT_EQ(port.readRunId(), 0u);
    EXPECT_TRUE(WaitForWorkers(1));
    parallel_.WriteMaster("status");
    SendOnWindow(port, "\x1b@");
    EXPECT_EQ(parallel_.ReadMaster(2), "\x1b@");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(window_->Count(UM_RX_BYTE), 0u);
    window_->Invoke([&] { port.Close(); });
}

TEST_F(DevicePortTest, MissingDevicesDoNotOpen) {
    CommonUtils port;
    EXPECT_FALSE(OpenParallelOnWindow(port, "LPT2"));
    EXPECT_FALSE(OpenParallelOnWindow(port, "COM1"));
    EXPECT_FALSE(OpenParallelOnWindow(port, "LPT4294967297")) << "no LPT1 by wrapping round";
    EXPECT_FALSE(OpenUsbOnWindow(port, "/dev/usb/lp7#usb#vid_0416&pid_5011#1-2:1.0"));
    EXPECT_EQ(port.portKind(), kPortNone);
    EXPECT_EQ(LiveWorkerCount(), 0);
}

TEST_F(DevicePortTest, CloseOnAClosedObjectOnlyResetsTheFlags) {
    CommonUtils port;
    port.setQuietSend(1);
    port.Close();
    port.Close();
    EXPECT_EQ(port.portKind(), kPortNone);
    EXPECT_EQ(port.quietSend(), 0);
    EXPECT_EQ(port.readBack(), 1);
    EXPECT_EQ(port.GetSocket(), -1);
    EXPECT_EQ(port.GetSerialHandle(), -1);
    // Sending on a closed port goes nowhere and reports nothing.
    port.Send("x", 1);
    port.SendDirect("x", 1);
    EXPECT_EQ(window_->Messages().size(), 0u);
}

TEST_F(DevicePortTest, ReopeningFromTheTxDoneHandlerLeavesOneWriter) {
    CommonUtils port;
    std::optional<OpenOutcome> reopened;
    window_->SetHandler([&](unsigned message, WPARAM, LPARAM) -> LRESULT {
        if (message == UM_TX_DONE && !reopened) {
            port.Close();
            reopened = port.OpenParallel(window_, "LPT1");
        }
        return 0;
    });
    ASSERT_TRUE(OpenParallelOnWindow(port));
    const std::uint32_t firstWriter = port.writeRunId();
    SendOnWindow(port, "one");
    EXPECT_EQ(parallel_.ReadMaster(3), "one");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 1; }));
    window_->Invoke([] {});
    ASSERT_TRUE(reopened.has_value());
    EXPECT_TRUE(*reopened);
    EXPECT_NE(port.writeRunId(), firstWriter);
    EXPECT_TRUE(WaitForWorkers(1)) << LiveWorkerCount() << " workers";
    SendOnWindow(port, "two");
    EXPECT_EQ(parallel_.ReadMaster(3), "two");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 2; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(window_->Count(UM_TX_DONE), 2u);
    EXPECT_EQ(parallel_.DrainMaster(100), "");
    window_->Invoke([&] { port.Close(); });
}

TEST_F(DevicePortTest, ClosingInsideTheRxHandlerStopsDeliveryAtOnce) {
    CommonUtils port;
    window_->SetHandler([&](unsigned message, WPARAM, LPARAM) -> LRESULT {
        if (message == UM_RX_BYTE)
            port.Close();
        return 0;
    });
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    usb_.WriteMaster("abcdef");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) >= 1; }));
    EXPECT_TRUE(WaitForWorkers(0));
    EXPECT_EQ(window_->ReceivedBytes(), "a");
}

TEST_F(DevicePortTest, AVanishedDeviceEndsTheBlockAndStaysClosable) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    usb_.CloseMaster();  // the printer is unplugged: writes fail with EIO from now on
    SendOnWindow(port, Pattern(20000));
    SendOnWindow(port, "after");
    // The writer gives up on both blocks instead of retrying forever, and says why.
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 2; }));
    for (const SendReport& report : window_->Reports()) {
        EXPECT_TRUE(report.outcome.failed());
        EXPECT_LT(report.outcome.count, report.length);
    }
    window_->Invoke([&] { port.Close(); });
    EXPECT_EQ(port.portKind(), kPortNone);
}

TEST_F(DevicePortTest, DestroyedOwnerTurnsMessagesIntoNothing) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    window_->Destroy();
    usb_.WriteMaster("late");
    port.Send("x", 1);
    EXPECT_EQ(usb_.ReadMaster(1), "x");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(window_->Messages().size(), 0u);
    port.Close();
}

TEST_F(DevicePortTest, DestroyingTheTransportWhileAWorkerWaitsIsSafe) {
    auto port = std::make_unique<CommonUtils>();
    std::atomic<bool> inHandler{false};
    std::atomic<bool> release{false};
    window_->SetHandler([&](unsigned message, WPARAM, LPARAM) -> LRESULT {
        if (message == UM_RX_BYTE && !inHandler.exchange(true)) {
            // The worker is blocked in SendMessage right now: free its transport under it.
            port.reset();
            while (!release)
                std::this_thread::sleep_for(1ms);
        }
        return 0;
    });
    ASSERT_TRUE(OpenUsbOnWindow(*port, kUsbPath));
    usb_.WriteMaster("xyz");
    ASSERT_TRUE(window_->WaitUntil([&] { return inHandler.load(); }));
    release = true;
    EXPECT_TRUE(WaitForWorkers(0));
    EXPECT_EQ(window_->ReceivedBytes(), "x");
}

TEST_F(DevicePortTest, OpeningOverAnOpenPortEndsTheOldWorkers) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    EXPECT_TRUE(WaitForWorkers(2));
    ASSERT_TRUE(OpenParallelOnWindow(port));
    EXPECT_TRUE(WaitForWorkers(1)) << LiveWorkerCount() << " workers";
    SendOnWindow(port, "lp");
    EXPECT_EQ(parallel_.ReadMaster(2), "lp");
    EXPECT_EQ(usb_.DrainMaster(100), "");
    window_->Invoke([&] { port.Close(); });
}

// At most 1000 bytes a call, as a device that takes a little at a time.
ssize_t SmallWrite(int fd, const void* data, std::size_t length) {
    return RecordingWrite(fd, data, std::min<std::size_t>(length, 1000));
}

std::vector<WPARAM> Reported(const TestWindow& window) {
    std::vector<WPARAM> counts;
    for (const auto& m : window.Messages())
        if (m.message == UM_TX_DONE)
            counts.push_back(m.wParam);
    return counts;
}

TEST_F(DevicePortTest, FileRangesGoFromTheFileAndEndWhereItEndsOrTheReaderLeaves) {
    const std::string content = Pattern(300000);
    const std::string path = root_.WriteFile("job.bin", content);
    auto file = std::make_shared<const SharedFile>(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    window_->Invoke([&] {
        port.SendFile(file, 0, 100000);
        port.SendFile(file, 100000, 200000);
    });
    file.reset();  // the ranges waiting at the port keep the file open
    EXPECT_TRUE(usb_.ReadMaster(content.size()) == content);
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 2; }));

    // The file has become shorter by the time the writer gets to it: the range ends where
    // the file does, and one wholly past the end is reported with nothing written.
    ASSERT_EQ(truncate(path.c_str(), 150000), 0);
    file = std::make_shared<const SharedFile>(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    window_->Invoke([&] {
        port.SendFile(file, 100000, 100000);
        port.SendFile(file, 200000, 1000);
    });
    EXPECT_TRUE(usb_.ReadMaster(50000) == content.substr(100000, 50000));
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 4; }));
    EXPECT_EQ(Reported(*window_), (std::vector<WPARAM>{100000, 200000, 50000, 0}));
    window_->Invoke([&] { port.Close(); });

    // A descriptor that is no pipe (here a file open for appending) gets the range read and
    // written, also when it takes only part of each piece.
    pieces.clear();
    SetDeviceWriteCall(&SmallWrite);
    const std::string out = root_.WriteFile("out.bin", "");
    TransportState state;
    {
        PortChannel channel(kPortParallel, window_);
        channel.writeFd = open(out.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        const IoOutcome outcome = WriteFileRange(
            state, channel, &PortChannel::writeFd, [] { return true; }, {file, 90000, 100000},
            kNoStallLimit);
        EXPECT_EQ(outcome.count, 60000u);
        EXPECT_EQ(outcome.error, 0) << "a file that ends early is no failure of the port";
    }
    std::ifstream copied(out, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(copied), {}) ==
                content.substr(90000, 60000));
    EXPECT_EQ(pieces.size(), 60u);
    SetDeviceWriteCall(nullptr);

    // A parallel port that is a FIFO. While its reader takes nothing, Close still ends the
    // writer (TearDown sees it go); once the reader has gone, a write fails instead of
    // ending the program, and the range is reported with what went out.
    const std::string fifo = root_.path() + "/lp0";
    ASSERT_EQ(unlink(fifo.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_TRUE(OpenParallelOnWindow(port));
    window_->Invoke([&] { port.SendFile(file, 0, 150000); });
    std::this_thread::sleep_for(100ms);
    window_->Invoke([&] { port.Close(); });
    EXPECT_TRUE(WaitForWorkers(0));
    ASSERT_TRUE(OpenParallelOnWindow(port));
    close(reader);
    window_->Invoke([&] { port.SendFile(file, 0, 150000); });
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 5; }));
    EXPECT_EQ(Reported(*window_).back(), 0u);
    window_->Invoke([&] { port.Close(); });
}

class UsbReadLogTest : public PortFixture {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(logDir_.path());
    }
    void TearDown() override {
        logEnabled = 0;
        std::filesystem::current_path(previous_);
        WaitForWorkers(0);
    }
    TempDir logDir_;
    std::filesystem::path previous_;
};

TEST_F(UsbReadLogTest, ReadTimeoutsAreLoggedOnlyWhileTheLogIsOn) {
    CommonUtils port;
    ASSERT_TRUE(OpenUsbOnWindow(port, kUsbPath));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(std::filesystem::exists(logDir_.path() + "/Quillon.log"));
    logEnabled = 1;
    std::this_thread::sleep_for(400ms);
    window_->Invoke([&] { port.Close(); });
    logEnabled = 0;
    std::ifstream in(logDir_.path() + "/Quillon.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("CommonUtils::ReadThread | L1025: Read file wait timeout.\r\n"),
              std::string::npos)
        << text.str();
}

}  // namespace
