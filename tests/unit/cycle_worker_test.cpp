// The cycle worker against pseudo-terminals registered as COM ports and loopback network
// printers: what each target receives, in which order, the count lines, failures, the day
// file, and starting, stopping and shutting down while a run goes on.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>

#include "pages/cycle/CycleRunner.h"
#include "pages/cycle/CycleWrite.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/FakeTtyLayer.h"
#include "tests/support/LoopbackPeers.h"
#include "tests/support/TestWindow.h"
#include "transport/DiagnosticLog.h"
#include "transport/WorkerThreads.h"
#include "transport/platform/FdIo.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

constexpr unsigned kCycleFailed = WM_USER + 106;
const std::regex kCountLine(R"(--->current count is: (\d+), time is: \d\d:\d\d:\d\d<---\n)");

// The device each write of a pass went to, in order.
std::mutex writesLock;
std::vector<std::string> writtenDevices;
ssize_t RecordingWrite(int fd, const void* data, std::size_t length) {
    char path[256] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    if (readlink(link.c_str(), path, sizeof path - 1) > 0) {
        std::lock_guard lock(writesLock);
        writtenDevices.push_back(path);
    }
    return ::write(fd, data, length);
}

// The counts of the count lines in a stream, checking that each is followed by `data`.
std::vector<int> Counts(const std::string& stream, const std::string& data) {
    std::vector<int> counts;
    std::string rest = stream;
    std::smatch match;
    while (std::regex_search(rest, match, kCountLine) && match.position(0) == 0) {
        counts.push_back(std::stoi(match[1]));
        rest = match.suffix();
        if (rest.compare(0, data.size(), data) != 0)
            return {};
        rest.erase(0, data.size());
    }
    return rest.empty() ? counts : std::vector<int>{};
}

bool WaitForWorkers(int baseline, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (LiveWorkerCount() > baseline) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class CycleSerialTest : public ::testing::Test {
  protected:
    static constexpr int kPorts = 5;

    CycleSerialTest()
        : devRootEnv_("QUILLON_DEV_ROOT", root_.path() + "/dev"),
          sysfsEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports"),
          tty_(std::make_shared<FakeTtyLayer>()),
          ttyScope_(tty_),
          page_(std::make_shared<TestWindow>()),
          main_(std::make_shared<TestWindow>()),
          baseline_(LiveWorkerCount()) {
        std::string map;
        for (int i = 0; i < kPorts; ++i)
            map += "COM" + std::to_string(i + 1) + "=" + ptys_[i].slavePath() + "\n";
        root_.WriteFile("ports", map);
        runner_ = std::make_unique<CycleRunner>(
            CycleKind::kSerial, page_, main_,
            CycleTexts{"%s Open failed.", "Can not convert send data to HEX model.",
                       "%s Send failed.", "%llu of %llu bytes went out.", nullptr});
        // The main window answers a failed repeating run by stopping it.
        main_->SetHandler([this](unsigned message, WPARAM, LPARAM) {
            if (message == kCycleFailed)
                runner_->Stop();
            return LRESULT{0};
        });
    }
    ~CycleSerialTest() override {
        runner_->Shutdown();
        EXPECT_TRUE(WaitForWorkers(baseline_, 5s));
        SetDeviceWriteCall(nullptr);
    }

    static std::vector<CycleTarget> Ports(std::initializer_list<int> numbers) {
        std::vector<CycleTarget> targets;
        for (int n : numbers)
            targets.push_back({"COM" + std::to_string(n), "9600,N,8,1"});
        return targets;
    }
    static CycleSettings Run(const std::string& text, bool onePass, int intervalMs = 50) {
        CycleSettings settings;
        settings.dataText = text;
        settings.onePass = onePass;
        settings.intervalMs = intervalMs;
        return settings;
    }
    bool WaitIdle() {
        return page_->WaitUntil([this] { return !runner_->Running(); });
    }

    TempDir root_;
    ScopedEnv devRootEnv_;
    ScopedEnv sysfsEnv_;
    ScopedEnv mapEnv_;
    PtyPair ptys_[kPorts];
    std::shared_ptr<FakeTtyLayer> tty_;
    ScopedTtyLayer ttyScope_;
    std::shared_ptr<TestWindow> page_;
    std::shared_ptr<TestWindow> main_;
    int baseline_;
    std::unique_ptr<CycleRunner> runner_;
};

TEST_F(CycleSerialTest, OnePassReachesTheTickedPortsInOrderWithTheExactBytes) {
    SetDeviceWriteCall(&RecordingWrite);
    runner_->SetTargets(Ports({4, 1, 3}));
    CycleSettings hex = Run("1B 40\r\n 4", true);
    hex.hex = true;
    hex.chineseMode = true;  // no Chinese-mode wrapper around hexadecimal data
    runner_->Start(hex);
    ASSERT_TRUE(WaitIdle());
    const std::string expected("\x1B\x40\x04", 3);
    for (int port : {4, 1, 3})
        EXPECT_EQ(ptys_[port - 1].DrainMaster(), expected) << "COM" << port;
    EXPECT_EQ(ptys_[1].DrainMaster(50), "");
    EXPECT_EQ(ptys_[4].DrainMaster(50), "");
    {
        std::lock_guard lock(writesLock);
        EXPECT_EQ(writtenDevices,
                  (std::vector<std::string>{ptys_[3].slavePath(), ptys_[0].slavePath(),
                                            ptys_[2].slavePath()}));
    }
    // Each port is opened with its own parameter text.
    ASSERT_EQ(tty_->Applied().size(), 3u);
    EXPECT_EQ(tty_->Applied()[0].baudRate, 9600);

    // Text that is not hexadecimal: nothing is sent, the page shows why, and a single pass
    // does not stop the main window's runs.
    CycleSettings bad = Run("1B 4G", true);
    bad.hex = true;
    runner_->Start(bad);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(ptys_[0].DrainMaster(50), "");
    EXPECT_EQ(page_->MessageBoxes(),
              std::vector<std::string>{"Can not convert send data to HEX model."});
    EXPECT_EQ(main_->Count(kCycleFailed), 0u);
}

TEST_F(CycleSerialTest, RepeatingRunCountsItsPassesAndASecondStartKeepsTheCount) {
    runner_->SetTargets(Ports({1, 2}));
    // An empty text: only the count lines go out. A long interval holds the run after pass 1.
    runner_->Start(Run("", false, 600000));
    const std::string first = ptys_[0].DrainMaster();
    EXPECT_EQ(Counts(first, ""), std::vector<int>{1}) << first;
    EXPECT_EQ(Counts(ptys_[1].DrainMaster(), ""), std::vector<int>{1});
    // The line carries the local time of its pass.
    char now[16];
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    std::strftime(now, sizeof now, "%H:%M", &local);
    EXPECT_NE(first.find(std::string("time is: ") + now), std::string::npos) << first;

    // The other Auto Send box: the same worker goes on at the new interval, counting on.
    runner_->Start(Run("ignored", false, 20));
    const std::string more = ptys_[0].ReadMaster(2 * first.size());
    EXPECT_EQ(Counts(more, ""), (std::vector<int>{2, 3})) << more;
    runner_->Stop();
    ASSERT_TRUE(WaitIdle());
    ptys_[0].DrainMaster(50);
    ptys_[1].DrainMaster(50);

    // A new run counts from 1 again and sends its data after each count line.
    const std::size_t opened = tty_->Applied().size();
    runner_->Start(Run("DATA", false, 20));
    ASSERT_TRUE(page_->WaitUntil([&] { return tty_->Applied().size() >= opened + 6; }));
    runner_->Stop();
    ASSERT_TRUE(WaitIdle());
    const std::vector<int> counts = Counts(ptys_[1].DrainMaster(), "DATA");
    ASSERT_GE(counts.size(), 2u);
    for (std::size_t i = 0; i < counts.size(); ++i)
        EXPECT_EQ(counts[i], static_cast<int>(i) + 1);
    EXPECT_EQ(main_->Count(kCycleFailed), 0u);
}

TEST_F(CycleSerialTest, StalledWritesAreLoggedAndShutdownEndsThemAtOnce) {
    // A peer that never reads: the write waits for room that never comes, gives up after
    // the stall limit and says so in the diagnostic log. The port still counts as served.
    TempDir folder;
    const auto previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    logEnabled = 1;
    runner_->SetTargets(Ports({1}));
    runner_->Start(Run(std::string(4 << 20, 'x'), true));
    ASSERT_TRUE(page_->WaitUntil([this] { return !runner_->Running(); }));
    logEnabled = 0;
    std::filesystem::current_path(previousFolder);
    std::ifstream log(folder.path() + "/Quillon.log");
    std::stringstream logged;
    logged << log.rdbuf();
    EXPECT_NE(logged.str().find("COM1 took "), std::string::npos) << logged.str();
    EXPECT_NE(logged.str().find(" of 4194304 bytes."), std::string::npos);
    EXPECT_TRUE(page_->MessageBoxes().empty());
    ptys_[0].DrainMaster(50);

    // The same write cut short by the page going away.
    runner_->Start(Run(std::string(4 << 20, 'x'), true));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(runner_->Running());
    runner_->Shutdown();
    // Well inside the time a stalled write would take to give up by itself.
    EXPECT_TRUE(WaitForWorkers(baseline_, std::chrono::milliseconds(kCycleWriteStallMs / 2)));
    ptys_[0].DrainMaster(50);

    // A run in its pause.
    auto second = std::make_unique<CycleRunner>(CycleKind::kSerial, page_, main_, CycleTexts{});
    second->SetTargets(Ports({2}));
    second->Start(Run("x", false, 600000));
    EXPECT_FALSE(ptys_[1].ReadMaster(46).empty());
    second.reset();
    EXPECT_TRUE(WaitForWorkers(baseline_, 1s));
}

// Under ThreadSanitizer: starts, stops, restarts, new targets and parameters while a
// repeating run goes on; every port still gets whole records, one after the other.
TEST_F(CycleSerialTest, StartsStopsAndTargetChangesDuringARepeatingRun) {
    std::atomic<bool> reading{true};
    std::string streams[3];
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&, i] {
            while (reading)
                streams[i] += ptys_[i].DrainMaster(20);
        });
    const std::vector<std::vector<CycleTarget>> choices = {
        Ports({1, 2, 3}), Ports({3, 1}), {{"COM2", "19200,N,8,2, 1"}}, {}};
    for (int round = 0; round < 200; ++round) {
        runner_->SetTargets(choices[round % choices.size()]);
        runner_->Start(Run("DATA", round % 7 == 3, 1 + round % 3));
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
        if (round % 4 == 0)
            runner_->Stop();
        if (round % 6 == 0)
            main_->Invoke([this] { runner_->SetTargets(Ports({2})); });
    }
    runner_->Stop();
    ASSERT_TRUE(WaitForWorkers(baseline_, 10s));
    reading = false;
    for (auto& reader : readers)
        reader.join();
    int records = 0;
    for (int i = 0; i < 3; ++i) {
        // Each record is a count line and the data, or the data alone for a single pass.
        std::string rest = streams[i];
        std::smatch match;
        while (!rest.empty()) {
            if (rest.compare(0, 4, "DATA") == 0) {
                rest.erase(0, 4);
            } else {
                ASSERT_TRUE(std::regex_search(rest, match, kCountLine) && match.position(0) == 0)
                    << "COM" << i + 1 << ": " << rest.substr(0, 80);
                rest = match.suffix();
                ASSERT_EQ(rest.compare(0, 4, "DATA"), 0);
                rest.erase(0, 4);
            }
            ++records;
        }
    }
    EXPECT_GT(records, 10);
    EXPECT_EQ(main_->Count(kCycleFailed), 0u);
    EXPECT_EQ(page_->MessageBoxes(), std::vector<std::string>{});
}

// Network printers on loopback: a web page on port 80 and a raw port.
struct LoopbackPrinter {
    static constexpr int kRawPort = 9100;
    LoopbackPrinter(int status, bool raw, int receiveBuffer = 0) {
        int error = 0;
        const std::string reason = status == 200 ? "OK" : "Not Found";
        page = StartPrinterPage([=](const std::string&) { return StatusReply(status, reason); },
                                address, error);
        if (page && raw)
            listener = std::make_unique<TcpListener>(address, kRawPort, 8, receiveBuffer);
    }
    // Accepts the worker's connection and reads until it closes it.
    std::string Received() const {
        const int fd = listener->Accept(10000);
        if (fd < 0)
            return "<no connection>";
        std::string bytes = ReadSome(fd, 64 << 20, 5000);
        close(fd);
        return bytes;
    }
    bool Connected() const { return WaitReady(listener->fd(), POLLIN, -1, 0) == 1; }
    std::string address;
    std::unique_ptr<HttpResponder> page;
    std::unique_ptr<TcpListener> listener;
};

TEST(CycleNetworkTest, PrintersInOrderThenFailuresGoToTheDayFileOnceAPassIsComplete) {
    ProxyFreeEnvironment noProxy;
    LoopbackPrinter first(200, true);
    if (!first.page)
        GTEST_SKIP() << "cannot bind port 80 on loopback";
    LoopbackPrinter second(200, true);
    LoopbackPrinter notFound(404, false);
    LoopbackPrinter neverReads(200, true, 4096);
    const std::string refusing = RandomLoopbackAddress();
    TempDir folder;
    const auto previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const int baseline = LiveWorkerCount();
    auto page = std::make_shared<TestWindow>();
    auto main = std::make_shared<TestWindow>();
    auto runner = std::make_unique<CycleRunner>(
        CycleKind::kNetwork, page, main,
        CycleTexts{"%s Creat connection failed.", "hex", "%s Send failed.",
                   "%llu of %llu bytes went out.", [](const OpenOutcome& outcome) {
                       return "web page " + std::to_string(outcome.httpStatus) + ", error " +
                              std::to_string(outcome.error);
                   }});
    main->SetHandler([&](unsigned message, WPARAM, LPARAM) {
        if (message == kCycleFailed)
            runner->Stop();
        return LRESULT{0};
    });
    CycleSettings settings;
    settings.dataText = "DATA";
    settings.tcpPort = LoopbackPrinter::kRawPort;

    // A fresh page: the first printer that cannot be connected ends the run with a message.
    settings.onePass = false;
    runner->SetTargets({{first.address, ""}, {notFound.address, ""}, {second.address, ""}});
    runner->Start(settings);
    EXPECT_EQ(Counts(first.Received(), "DATA"), std::vector<int>{1});
    // The main window stops the run before the page shows the message: wait for both.
    ASSERT_TRUE(
        page->WaitUntil([&] { return !runner->Running() && !page->MessageBoxes().empty(); }, 20s));
    // The page's text, and on the next line why.
    EXPECT_EQ(page->MessageBoxes(),
              std::vector<std::string>{notFound.address + " Creat connection failed.\n"
                                                          "web page 404, error 0"});
    EXPECT_EQ(main->Count(kCycleFailed), 1u);
    EXPECT_FALSE(second.Connected());
    EXPECT_TRUE(runner->StopsAtFailure());

    // A single pass in Chinese mode that serves both printers, the first before the second.
    settings.onePass = true;
    settings.chineseMode = true;
    runner->SetTargets({{first.address, ""}, {second.address, ""}});
    runner->Start(settings);
    const int firstFd = first.listener->Accept(10000);
    ASSERT_GE(firstFd, 0);
    EXPECT_EQ(ReadSome(firstFd, 8, 5000),
              "\x1C\x26"
              "DATA\x1C\x2E");
    EXPECT_FALSE(second.Connected()) << "the second printer waits for the first";
    EXPECT_TRUE(WaitForEof(firstFd, 5000));
    close(firstFd);
    EXPECT_EQ(second.Received(),
              "\x1C\x26"
              "DATA\x1C\x2E");
    ASSERT_TRUE(page->WaitUntil([&] { return !runner->Running(); }, 20s));
    EXPECT_FALSE(runner->StopsAtFailure());

    // From now on failures are recorded in the day file and the run goes on; so is a
    // printer that connects but does not take the data.
    settings.onePass = false;
    settings.chineseMode = false;
    settings.intervalMs = 600000;
    settings.dataText = std::string(8 << 20, 'd');
    runner->SetTargets(
        {{refusing, ""}, {notFound.address, ""}, {neverReads.address, ""}, {first.address, ""}});
    runner->Start(settings);
    EXPECT_EQ(Counts(first.Received(), settings.dataText), std::vector<int>{1});
    EXPECT_TRUE(runner->Running());
    runner->Stop();
    ASSERT_TRUE(WaitForWorkers(baseline, 20s));
    EXPECT_EQ(page->MessageBoxes().size(), 1u);
    // The printer that took only part of the data is recorded with how much went out.
    const std::string records = ReadDayFile();
    // Each with why on the same line: no web page at all, or one that answered 404.
    const std::string failedConnections =
        refusing + refusing + " Creat connection failed. web page 0, error " +
        std::to_string(ECONNREFUSED) + "\r\n" + notFound.address + notFound.address +
        " Creat connection failed. web page 404, error 0\r\n";
    EXPECT_EQ(records.substr(0, failedConnections.size()), failedConnections);
    EXPECT_TRUE(std::regex_match(records.substr(failedConnections.size()),
                                 std::regex(neverReads.address + neverReads.address +
                                            " Send failed\\. [0-9]+ of 8388655 bytes went "
                                            "out\\.\r\n")))
        << records;
    runner.reset();
    std::filesystem::current_path(previousFolder);
}

}  // namespace
