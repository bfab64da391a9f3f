// Network printers on loopback: the web page on port 80 decides, the raw port carries the bytes.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "tests/support/LoopbackPeers.h"
#include "tests/support/TestWindow.h"
#include "transport/CommonUtils.h"
#include "transport/WorkerThreads.h"

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRawPort = 9100;
constexpr int kWaitMs = 10000;  // for things that must happen

HttpResponder::Reply Answer(int code) {
    return [code](const std::string&) { return StatusReply(code, "Status"); };
}

// A connection the test accepted on the printer's raw port; closed at the end.
struct RawPeer {
    explicit RawPeer(int fd) : fd(fd) {}
    ~RawPeer() {
        if (fd >= 0)
            close(fd);
    }
    int fd;
};

class NetworkConnectionTest : public ::testing::Test {
  protected:
    std::shared_ptr<TestWindow> window_ = std::make_shared<TestWindow>();
    CommonUtils transport_;
    ProxyFreeEnvironment environment_;

    // Workers of an earlier test may still be letting go of their descriptors: the counts
    // below are taken only once they have all ended.
    void SetUp() override {
        for (int i = 0; i < 2000 && LiveWorkerCount() != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(LiveWorkerCount(), 0) << "workers left from an earlier test";
    }
    void TearDown() override {
        transport_.Close();
        window_->Destroy();
    }
    bool WaitFor(unsigned message, std::size_t count) {
        return window_->WaitUntil([&] { return window_->Count(message) >= count; },
                                  std::chrono::milliseconds(kWaitMs));
    }
};

TEST_F(NetworkConnectionTest, APrinterWhosePageAnswersOkOpensAndCarriesBytesBothWays) {
    START_PAGE(page, Answer(200));
    TcpListener raw(address, kRawPort);
    ASSERT_EQ(raw.error(), 0);

    ASSERT_TRUE(transport_.OpenNetwork(window_, address.c_str(), kRawPort));
    EXPECT_EQ(transport_.portKind(), kPortNetwork);
    EXPECT_GE(transport_.GetSocket(), 0);
    EXPECT_EQ(transport_.owner(), window_);
    EXPECT_NE(transport_.writeRunId(), 0u);
    EXPECT_NE(transport_.readRunId(), 0u);
    RawPeer peer(raw.Accept(kWaitMs));
    ASSERT_GE(peer.fd, 0);
    EXPECT_EQ(page->Connections(), 1);

    const std::string toPrinter("\x1b\x40Hello\x00\xff", 9);
    transport_.Send(toPrinter.data(), static_cast<int>(toPrinter.size()));
    EXPECT_EQ(ReadSome(peer.fd, toPrinter.size()), toPrinter);
    ASSERT_TRUE(WaitFor(UM_TX_DONE, 1));
    EXPECT_EQ(window_->Messages().back().wParam, toPrinter.size());

    const std::string fromPrinter("\x10\x04\x01\xff\x00", 5);
    ASSERT_TRUE(WriteAll(peer.fd, fromPrinter));
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->ReceivedBytes() == fromPrinter; }));

    // Close hangs up at once; the printer sees the end of the stream.
    transport_.Close();
    EXPECT_EQ(transport_.portKind(), kPortNone);
    EXPECT_EQ(transport_.GetSocket(), -1);
    EXPECT_TRUE(WaitForEof(peer.fd, kWaitMs));
    EXPECT_EQ(window_->Count(UM_NET_CLOSED), 0u);
}

TEST_F(NetworkConnectionTest, APageThatRefusesMeansNoConnectionToTheRawPort) {
    for (int code : {404, 401}) {
        START_PAGE(page, Answer(code));
        TcpListener raw(address, kRawPort);
        ASSERT_EQ(raw.error(), 0);

        const OpenOutcome outcome = transport_.OpenNetwork(window_, address.c_str(), kRawPort);
        EXPECT_EQ(outcome.step, OpenStep::kWebPage) << code;
        EXPECT_EQ(outcome.httpStatus, code);
        EXPECT_EQ(outcome.device, address);
        EXPECT_EQ(page->Connections(), 1);
        // A connect would have completed before OpenNetwork returned.
        EXPECT_EQ(raw.DrainPending(), 0) << code;
        EXPECT_EQ(transport_.portKind(), kPortNone);
        EXPECT_EQ(transport_.GetSocket(), -1);
        EXPECT_EQ(transport_.owner(), nullptr) << "the owner changes only after the probe";
    }
}

TEST_F(NetworkConnectionTest, ARefusedRawPortAfterAGoodProbeLeavesNoSocket) {
    START_PAGE(page, Answer(200));
    const int descriptorsBefore = OpenDescriptorCount();

    const OpenOutcome outcome = transport_.OpenNetwork(window_, address.c_str(), kRawPort);
    EXPECT_EQ(outcome.step, OpenStep::kConnect);
    EXPECT_EQ(outcome.error, ECONNREFUSED);
    EXPECT_EQ(outcome.tcpPort, kRawPort);
    EXPECT_EQ(page->Connections(), 1);
    EXPECT_EQ(transport_.portKind(), kPortNone);
    EXPECT_EQ(transport_.GetSocket(), -1);
    // The page's own thread may still be closing its side of the probe connection.
    EXPECT_TRUE(window_->WaitUntil([&] { return OpenDescriptorCount() == descriptorsBefore; }))
        << OpenDescriptorCount() << " descriptors open, " << descriptorsBefore << " before";
}

TEST_F(NetworkConnectionTest, ARawPortThatNeverAcceptsFailsInTimeAndLeavesNoSocket) {
    START_PAGE(page, Answer(200));
    // Backlog 0 and one connection waiting in it: the next SYNs go unanswered.
    TcpListener raw(address, kRawPort, 0);
    ASSERT_EQ(raw.error(), 0);
    const int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kRawPort);
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    ASSERT_EQ(connect(filler, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const int descriptorsBefore = OpenDescriptorCount();

    const auto start = Clock::now();
    const OpenOutcome outcome = transport_.OpenNetwork(window_, address.c_str(), kRawPort);
    EXPECT_EQ(outcome.step, OpenStep::kConnect);
    EXPECT_EQ(outcome.error, ETIMEDOUT);
    // Send time-out (2 s) plus the writability wait (3 s), with room for a busy machine.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(transport_.GetSocket(), -1);
    EXPECT_TRUE(window_->WaitUntil([&] { return OpenDescriptorCount() == descriptorsBefore; }))
        << OpenDescriptorCount() << " descriptors open, " << descriptorsBefore << " before";
    close(filler);
}

TEST_F(NetworkConnectionTest, APageThatNeverAnswersFailsWithinTheTimeOuts) {
    START_PAGE(page, HttpResponder::Mode::kSilent);
    TcpListener raw(address, kRawPort);
    ASSERT_EQ(raw.error(), 0);

    const auto start = Clock::now();
    const OpenOutcome outcome = transport_.OpenNetwork(window_, address.c_str(), kRawPort);
    EXPECT_EQ(outcome.step, OpenStep::kWebPage);
    EXPECT_EQ(outcome.error, ETIMEDOUT);
    EXPECT_EQ(outcome.httpStatus, 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(raw.DrainPending(), 0);
}

TEST_F(NetworkConnectionTest, TextThatIsNotDottedIpv4FailsCleanly) {
    for (const char* text : {"printer.local", "localhost", "127.1", "1.2.3.4.5", "", "::1"}) {
        EXPECT_EQ(transport_.OpenNetwork(window_, text, kRawPort).step, OpenStep::kSettings)
            << '"' << text << '"';
    }
    EXPECT_FALSE(transport_.OpenNetwork(window_, nullptr, kRawPort));
    EXPECT_EQ(transport_.portKind(), kPortNone);
}

TEST_F(NetworkConnectionTest, APrinterThatHangsUpGivesOneClosedMessageAndNoByteAfterIt) {
    START_PAGE(page, Answer(200));
    TcpListener raw(address, kRawPort);
    ASSERT_TRUE(transport_.OpenNetwork(window_, address.c_str(), kRawPort));
    {
        RawPeer peer(raw.Accept(kWaitMs));
        ASSERT_GE(peer.fd, 0);
        ASSERT_TRUE(WriteAll(peer.fd, "bye"));
    }

    ASSERT_TRUE(WaitFor(UM_NET_CLOSED, 1));
    ASSERT_TRUE(window_->WaitUntil([&] { return transport_.readRunId() == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto messages = window_->Messages();
    EXPECT_EQ(window_->Count(UM_NET_CLOSED), 1u);
    EXPECT_EQ(messages.back().message, UM_NET_CLOSED);
    EXPECT_EQ(window_->ReceivedBytes(), "bye");
    // The writer stays until the owner closes; the socket is still held.
    EXPECT_NE(transport_.writeRunId(), 0u);
    EXPECT_GE(transport_.GetSocket(), 0);
}

TEST_F(NetworkConnectionTest, ABrokenConnectionEndsTheReaderAndLaterSendsAreHarmless) {
    START_PAGE(page, Answer(200));
    TcpListener raw(address, kRawPort);
    ASSERT_TRUE(transport_.OpenNetwork(window_, address.c_str(), kRawPort));
    {
        RawPeer peer(raw.Accept(kWaitMs));
        ASSERT_GE(peer.fd, 0);
        // Linger 0: close sends a reset instead of an orderly end.
        const linger hard{1, 0};
        setsockopt(peer.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }

    ASSERT_TRUE(WaitFor(UM_NET_CLOSED, 1));
    ASSERT_TRUE(window_->WaitUntil([&] { return transport_.readRunId() == 0; }));
    // Writing to the dead connection must neither raise SIGPIPE nor count anything; each
    // send is reported failed, with why.
    transport_.Send("ping", 4);
    transport_.Send("ping", 4);
    ASSERT_TRUE(WaitFor(UM_TX_DONE, 2));
    for (const SendReport& report : window_->Reports()) {
        EXPECT_EQ(report.outcome.count, 0u);
        EXPECT_TRUE(report.outcome.error == EPIPE || report.outcome.error == ECONNRESET)
            << report.outcome.error;
    }
    EXPECT_EQ(window_->Count(UM_NET_CLOSED), 1u);
    EXPECT_EQ(window_->Count(UM_RX_BYTE), 0u);
}

TEST_F(NetworkConnectionTest, TheOwnerMayCloseFromTheClosedMessage) {
    START_PAGE(page, Answer(200));
    TcpListener raw(address, kRawPort);
    window_->SetHandler([this](unsigned message, WPARAM, LPARAM) -> LRESULT {
        if (message == UM_NET_CLOSED)
            transport_.Close();
        return 0;
    });
    // The handler closes on the window's thread, so the test opens and looks there too.
    OpenOutcome opened;
    window_->Invoke([&] { opened = transport_.OpenNetwork(window_, address.c_str(), kRawPort); });
    ASSERT_TRUE(opened);
    close(raw.Accept(kWaitMs));

    ASSERT_TRUE(WaitFor(UM_NET_CLOSED, 1));
    ASSERT_TRUE(window_->WaitUntil([&] { return transport_.writeRunId() == 0; }));
    window_->Invoke([&] {
        EXPECT_EQ(transport_.portKind(), kPortNone);
        EXPECT_EQ(transport_.GetSocket(), -1);
    });
}

TEST_F(NetworkConnectionTest, OpeningOverAnOpenPortHangsUpTheOldConnection) {
    START_PAGE(page, Answer(200));
    TcpListener raw(address, kRawPort);
    ASSERT_TRUE(transport_.OpenNetwork(window_, address.c_str(), kRawPort));
    RawPeer first(raw.Accept(kWaitMs));
    const std::uint32_t firstReader = transport_.readRunId();

    ASSERT_TRUE(transport_.OpenNetwork(window_, address.c_str(), kRawPort));
    RawPeer second(raw.Accept(kWaitMs));
    ASSERT_GE(second.fd, 0);
    EXPECT_TRUE(WaitForEof(first.fd, kWaitMs));
    EXPECT_NE(transport_.readRunId(), firstReader);

    // Only the new connection is served, and the old reader stays silent.
    ASSERT_TRUE(WriteAll(second.fd, "new"));
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->ReceivedBytes() == "new"; }));
    EXPECT_EQ(window_->Count(UM_NET_CLOSED), 0u);
}

TEST_F(NetworkConnectionTest, ABlockLargerThanTheSocketBuffersReachesASlowReaderWhole) {
    START_PAGE(page, Answer(200));
    TcpListener raw(address, kRawPort, 8, 64 * 1024);
    ASSERT_TRUE(transport_.OpenNetwork(window_, address.c_str(), kRawPort));
    RawPeer peer(raw.Accept(kWaitMs));
    ASSERT_GE(peer.fd, 0);

    std::string block(16u << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 7 + i / 4093) & 0xFF);
    transport_.Send(block.data(), static_cast<int>(block.size()));

    // The reader takes small bites with pauses, so the sender has to wait for room.
    std::string arrived;
    while (arrived.size() < block.size()) {
        const std::string bite = ReadSome(peer.fd, 16 * 1024, kWaitMs);
        if (bite.empty())
            break;
        arrived += bite;
        if (arrived.size() % (1u << 20) < bite.size())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(arrived.size(), block.size());
    EXPECT_TRUE(arrived == block) << "the bytes arrived changed";
    ASSERT_TRUE(WaitFor(UM_TX_DONE, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(window_->Count(UM_TX_DONE), 1u);
    EXPECT_EQ(window_->Messages().back().wParam, block.size());
}

}  // namespace
