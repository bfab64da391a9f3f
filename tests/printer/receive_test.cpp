// The printer's clients, on its pseudo-terminal and its raw TCP ports: one job at a time, each
// connection with its own command in progress and status requests answered at once; a
// connection's end ends its command; answers a client never reads are bounded; and a burst
// of clients, clients that stay silent and a process out of descriptors are all survived.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QImage>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/printer/EngineHarness.h"
#include "tests/printer/ImageChecks.h"
#include "tests/printer/PrinterProcess.h"
#include "tests/support/LoopbackPeers.h"
#include "transport/platform/PrinterSocket.h"

using namespace quillon;

namespace {

sockaddr_in SocketAddress(const std::string& address, int port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    return to;
}

// A blocking connection, so that a sender waits while the printer does not read.
int Connect(const std::string& address, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = SocketAddress(address, port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool Write(int fd, const std::string& bytes) {
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

TEST(PrinterClients, OneJobAtATimeWithStatusAnsweredAtOnceAndNothingSwallowed) {
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address);
    const std::string device = printer.WaitForPort();
    ASSERT_FALSE(device.empty()) << printer.errors();

    // The terminal's client begins an image of 2 x 8 bytes and sends half of it.
    const int pty = OpenClient(device);
    ASSERT_GE(pty, 0);
    ASSERT_TRUE(Write(pty, Bytes("1D 76 30 00 02 00 08 00") + std::string(8, '\xFF')));
    // Meanwhile a TCP client asks for its status, and sends a job of its own.
    const int tcp = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(tcp, 0);
    ASSERT_TRUE(WriteAll(tcp, Bytes("10 04 01 1D 49 01 'from tcp' 0A")));
    EXPECT_EQ(ReadSome(tcp, 1, 5000), "\x16") << "the status request waits for its turn";
    // The terminal's client finishes its image and its job.
    ASSERT_TRUE(Write(pty, std::string(8, '\xFF') + Bytes("'from the terminal' 0A 1D 49 02")));
    EXPECT_EQ(ReadFor(pty, 1, 5000), "\x03");
    // Then the TCP client's job, whole.
    EXPECT_EQ(ReadSome(tcp, 1, 5000), "\x20") << "its job was swallowed";
    const std::string first = printer.WaitForPage(1);
    ASSERT_FALSE(first.empty()) << printer.errors();
    EXPECT_EQ(BlackIn(QImage(QString::fromStdString(first)), QRect(0, 0, 16, 8)), 16 * 8);
    EXPECT_FALSE(printer.WaitForPage(2).empty());
    close(tcp);
    close(pty);
}

TEST(PrinterClients, AConnectionsEndEndsTheCommandItLeftUnfinished) {
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    // A long pause before a job ends: here only a connection's end ends one.
    PrinterProcess printer(dir, address, "--idle-ms 600000");
    const std::string device = printer.WaitForPort();
    ASSERT_FALSE(device.empty()) << printer.errors();
    const std::string unfinished = Bytes("'before' 0A 1D 76 30 00 10 00 10 00 01 02 03");

    // A TCP client hangs up inside an image: its job ends, and the next client's bytes are
    // its own.
    int fd = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, unfinished));
    close(fd);
    ASSERT_FALSE(printer.WaitForPage(1).empty()) << "the connection's end did not end its job";
    fd = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, Bytes("1D 49 01 'next' 0A")));
    EXPECT_EQ(ReadSome(fd, 1, 5000), "\x20");
    close(fd);
    ASSERT_FALSE(printer.WaitForPage(2).empty());

    // The same on the terminal, whose clients come and go on one device.
    fd = OpenClient(device);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(Write(fd, unfinished));
    close(fd);
    ASSERT_FALSE(printer.WaitForPage(3).empty()) << "the last client's close did not end its job";
    fd = OpenClient(device);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(Write(fd, Bytes("1D 49 02")));
    EXPECT_EQ(ReadFor(fd, 1, 5000), "\x03");
    close(fd);
}

TEST(PrinterClients, APauseInsideAReceiptNeitherSplitsItNorLetsAnotherClientIn) {
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address, "--idle-ms 0");  // the printer's own default
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();

    // A point-of-sale client prints the head of a receipt, then reads the status and looks
    // something up for 0.7 s, as client libraries do, before it prints the rest and cuts.
    const int pos = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(pos, 0);
    ASSERT_TRUE(WriteAll(pos, Bytes("1B 40 'head' 0A 10 04 01")));
    EXPECT_EQ(ReadSome(pos, 1, 5000), "\x16");
    // Meanwhile another client sends a whole receipt; its status request is answered at once.
    const int other = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(other, 0);
    ASSERT_TRUE(WriteAll(other, Bytes("10 04 01 'other' 0A 1D 56 00")));
    EXPECT_EQ(ReadSome(other, 1, 5000), "\x16");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the pause under test
    ASSERT_TRUE(WriteAll(pos, Bytes("'rest' 0A 'total' 0A 1D 56 00")));

    // One page for the whole receipt, then the other client's.
    const std::string first = printer.WaitForPage(1);
    const std::string second = printer.WaitForPage(2);
    ASSERT_FALSE(first.empty() || second.empty()) << printer.errors();
    close(pos);
    close(other);
    EXPECT_EQ(printer.Stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(printer.pages() + "/job-0003-01.png"));
    EXPECT_FALSE(std::filesystem::exists(printer.pages() + "/job-0001-02.png"));
    EXPECT_GT(QImage(QString::fromStdString(first)).height(),
              QImage(QString::fromStdString(second)).height())
        << "the receipt of three lines did not come first and whole";
}

TEST(PrinterClients, AnswersAClientNeverReadsAreBoundedAndTheOldestGo) {
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address);
    const std::string device = printer.WaitForPort();
    ASSERT_FALSE(device.empty()) << printer.errors();

    // 350,000 requests of 3 bytes on the terminal, each answered with the same 15 or so
    // bytes: 5 MB of answers that the client does not read while it sends. The terminal
    // itself holds only a few kB of them, so what the client gets later is what the printer
    // kept.
    const int deaf = OpenClient(device);
    ASSERT_GE(deaf, 0);
    const std::string request = Bytes("1D 49 45");
    std::string requests;
    for (int i = 0; i < 350 * 1000; ++i)
        requests += request;
    for (size_t at = 0; at < requests.size();) {
        pollfd room{deaf, POLLOUT, 0};
        ASSERT_GT(poll(&room, 1, 10000), 0) << "the printer stopped reading";
        const ssize_t n = write(deaf, requests.data() + at, requests.size() - at);
        ASSERT_TRUE(n > 0 || errno == EAGAIN) << std::strerror(errno);
        at += n > 0 ? static_cast<size_t>(n) : 0;
    }
    // Another client's answer comes once the terminal's job is over.
    const int other = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(other, 0);
    ASSERT_TRUE(WriteAll(other, Bytes("1D 49 01")));
    EXPECT_EQ(ReadSome(other, 1, 60000), "\x20");
    ASSERT_TRUE(WriteAll(other, request));
    const std::string one = ReadFor(other, 4096, 2000);
    close(other);
    EXPECT_NE(printer.errors().find("does not read its answers"), std::string::npos)
        << printer.errors();

    std::string got;
    for (std::string more; !(more = ReadFor(deaf, 1 << 20, 1000)).empty();)
        got += more;
    ASSERT_FALSE(one.empty());
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), 256u * 1024) << "answers held without a bound";
    EXPECT_EQ(got.size() % one.size(), 0u) << "an answer was cut";
    EXPECT_EQ(got.substr(got.size() - one.size()), one);
    close(deaf);
}

TEST(PrinterClients, ABurstOfAThousandConnectsIsTakenWithoutRetriesAndEachIsAnswered) {
    constexpr int kClients = 1000;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < 2 * kClients + 200)
        GTEST_SKIP() << "needs " << 2 * kClients + 200 << " descriptors; the hard limit is "
                     << limit.rlim_max;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address);
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();

    const sockaddr_in to = SocketAddress(address, 9100);
    std::vector<pollfd> clients;
    for (int i = 0; i < kClients; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        const int started = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        ASSERT_TRUE(started == 0 || errno == EINPROGRESS) << std::strerror(errno);
        clients.push_back({fd, POLLOUT, 0});
    }
    // Every connect completes, none after a SYN sent again.
    const auto limitTime = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    size_t connected = 0;
    std::vector<bool> done(kClients);
    while (connected < clients.size() && std::chrono::steady_clock::now() < limitTime) {
        poll(clients.data(), clients.size(), 1000);
        for (size_t i = 0; i < clients.size(); ++i)
            if (!done[i] && clients[i].revents) {
                done[i] = true;
                ++connected;
                clients[i].events = 0;
            }
    }
    ASSERT_EQ(connected, clients.size());
    unsigned retransmitted = 0;
    for (const pollfd& c : clients) {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size);
        ASSERT_EQ(error, 0) << std::strerror(error);
        tcp_info info{};
        size = sizeof info;
        getsockopt(c.fd, IPPROTO_TCP, TCP_INFO, &info, &size);
        retransmitted += info.tcpi_total_retrans;
    }
    EXPECT_EQ(retransmitted, 0u) << "SYNs were dropped and sent again";

    // Every client's status request is answered, though only one of them has the printer.
    const std::string request = Bytes("10 04 01");
    for (const pollfd& c : clients)
        ASSERT_EQ(send(c.fd, request.data(), request.size(), MSG_NOSIGNAL), 3);
    int answered = 0;
    for (const pollfd& c : clients)
        answered += ReadSome(c.fd, 1, 10000) == "\x16";
    EXPECT_EQ(answered, kClients);
    for (const pollfd& c : clients)
        close(c.fd);
}

TEST(PrinterClients, SilentClientsAreDroppedAndRunningOutOfDescriptorsIsWaitedOut) {
    TempDir dir;
    ProxyFreeEnvironment noProxy;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address, "--web-timeout-ms 1000 --drop-idle 2");
    const std::string device = printer.WaitForPort();
    ASSERT_FALSE(device.empty()) << printer.errors();
    const int probe = ConnectPrinterSocket(address.c_str(), 80);
    if (probe < 0)
        GTEST_SKIP() << "port 80 could not be bound here: " << printer.errors();
    close(probe);
    // The printer may open 40 descriptors more than it holds now, and no more.
    rlim_t held = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(printer.pid()) + "/fd")) {
        (void)entry;
        ++held;
    }
    const rlimit few{held + 40, held + 40};
    ASSERT_EQ(prlimit(printer.pid(), RLIMIT_NOFILE, &few, nullptr), 0) << std::strerror(errno);

    // A silent raw client, then a hundred web clients that never ask for the page.
    const int silent = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(silent, 0);
    std::vector<int> web;
    for (int i = 0; i < 100; ++i) {
        web.push_back(ConnectPrinterSocket(address.c_str(), 80));
        ASSERT_GE(web.back(), 0);
    }
    // Out of descriptors, the printer rests instead of spinning, and its terminal works on.
    const long before = printer.CpuTicks();
    const int pty = OpenClient(device);
    ASSERT_GE(pty, 0);
    ASSERT_TRUE(Write(pty, Bytes("10 04 01")));
    EXPECT_EQ(ReadFor(pty, 1, 5000), "\x16");
    close(pty);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(printer.CpuTicks() - before, sysconf(_SC_CLK_TCK) / 4);

    // Each web client is dropped after its time, also those that waited for a descriptor,
    // and the silent raw client after its own.
    int dropped = 0;
    for (int fd : web) {
        dropped += WaitForEof(fd, 30000);
        close(fd);
    }
    EXPECT_EQ(dropped, 100);
    EXPECT_TRUE(WaitForEof(silent, 10000));
    close(silent);
    EXPECT_NE(printer.errors().find("no descriptor left"), std::string::npos) << printer.errors();
    // With descriptors free again, a new client is served.
    const int fd = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, Bytes("1D 49 01")));
    EXPECT_EQ(ReadSome(fd, 1, 5000), "\x20");
    close(fd);
}

namespace {

// The peak resident memory of a process, in KiB.
long PeakResidentKiB(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// A receipt that takes far longer to draw than to send: 40 lines, a QR code, a 576 x 2400
// raster (173 KB, so that a burst soon fills what the printer and the kernel buffer), and a
// mark of its number: a bar of (number % 71 + 1) bytes, 8 rows high.
std::string NumberedReceipt(int number) {
    std::string r = Bytes("1B 40 1D 76 30 00 48 00 08 00");
    const int markBytes = number % 71 + 1;
    for (int row = 0; row < 8; ++row)
        r += std::string(markBytes, '\xFF') + std::string(72 - markBytes, '\0');
    for (int i = 0; i < 40; ++i)
        r += "Item " + std::to_string(i) + " of receipt " + std::to_string(number) + "  12.50\n";
    r += Bytes(
        "1D 28 6B 03 00 31 43 05 1D 28 6B 0F 00 31 50 30 'quillon.test' 1D 28 6B 03 00 31 "
        "51 30 0A");
    r += Bytes("1D 76 30 00 48 00 60 09");
    for (int row = 0; row < 2400; ++row)
        r += std::string(72, row % 2 ? '\xAA' : '\x55');
    return r + Bytes("1D 56 42 00");
}

}  // namespace

TEST(PrinterClients, ABurstFasterThanDrawingPrintsEveryPageInBoundedMemoryAndStatusStaysQuick) {
    // 83 MB: more than the printer's receive buffer and the kernel's socket buffers hold.
    constexpr int kReceipts = 480;
    // The program with its fonts, the full receive buffer and the pages waiting to be drawn;
    // a burst whose pages piled up undrawn would hold some 80 MiB more (about 110 MiB here
    // against 198 when they pile up).
    constexpr long kMemoryBoundKiB = 160 << 10;
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address);
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();
    auto pageOf = [&](int receipt) {
        char name[64];
        std::snprintf(name, sizeof name, "/job-%04d-01.png", receipt + 1);
        return printer.pages() + name;
    };
    const int burst = Connect(address, 9100);
    const int status = ConnectPrinterSocket(address.c_str(), 4000);
    ASSERT_GE(burst, 0);
    ASSERT_GE(status, 0);
    std::string stream;
    for (int i = 0; i < kReceipts; ++i)
        stream += NumberedReceipt(i);

    // The burst goes out as fast as the printer takes it, which is as fast as it draws. Once
    // it has drawn a page and the burst is still going out, it has stopped reading: a status
    // request on the other port is answered at once all the same, before the burst's last
    // page is written.
    const int sendBuffer = 64 << 10;
    setsockopt(burst, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    std::atomic<bool> allSent{false};
    std::thread sender([&] {
        WriteAll(burst, stream);
        allSent = true;
    });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(180);
    while (access(pageOf(0).c_str(), R_OK) != 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool stoppedReading = !allSent;
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(WriteAll(status, Bytes("10 04 01")));
    EXPECT_EQ(ReadSome(status, 1, 10000), "\x16");
    const double answerMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count();
    const bool stillDrawing = access(pageOf(kReceipts - 1).c_str(), F_OK) != 0;
    sender.join();
    close(burst);
    EXPECT_TRUE(stoppedReading) << "the printer took the whole burst at once";
    EXPECT_TRUE(stillDrawing) << "the status request was not asked while the printer was behind";
    EXPECT_LT(answerMs, 500) << "status answered after " << answerMs << " ms while behind";
    std::printf("status answered in %.1f ms while behind\n", answerMs);

    // Every page is written, in order, each with its receipt's mark.
    while (access(pageOf(kReceipts - 1).c_str(), R_OK) != 0 &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (const int receipt : {0, kReceipts / 2, kReceipts - 1}) {
        const QImage page(QString::fromStdString(pageOf(receipt)));
        ASSERT_FALSE(page.isNull())
            << "receipt " << receipt << " was not written; " << printer.errors();
        EXPECT_EQ(BlackIn(page, QRect(0, 0, 576, 8)), (receipt % 71 + 1) * 8 * 8)
            << "receipt " << receipt;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(printer.pages()), {}), kReceipts);
    EXPECT_EQ(printer.errors().find("not drawn"), std::string::npos) << printer.errors();
    const long peak = PeakResidentKiB(printer.pid());
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, kMemoryBoundKiB);
    std::printf("peak resident memory %ld KiB for a %zu KiB burst\n", peak, stream.size() >> 10);
    close(status);
}
