// The reachability probe of a network printer against web pages on loopback.

#include <gtest/gtest.h>

#include <cerrno>

#include <atomic>
#include <chrono>
#include <cstring>

#include "tests/support/FakeDevices.h"
#include "tests/support/LoopbackPeers.h"
#include "transport/platform/HttpProbe.h"

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;
// "About 7 s" with room for a loaded machine; a hang would exceed it by far.
constexpr auto kProbeLimit = std::chrono::seconds(15);

class ProbeHttpTest : public ::testing::Test {
  protected:
    ProxyFreeEnvironment environment_;
};

TEST_F(ProbeHttpTest, StatusOkMeansReachableAndTheRequestIsAGetWithTheFourHeaderLines) {
    START_PAGE(page, [](const std::string&) { return StatusReply(200, "OK"); });

    EXPECT_EQ(ProbeHttp(address.c_str()), 1);

    const auto requests = page->Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& request = requests[0];
    EXPECT_EQ(request.rfind("GET / HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nHost: " + address + "\r\n"), std::string::npos) << request;
    const char* lines[] = {
        "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2; )\r\n",
        "\r\nAccept: */*\r\n",
        "\r\nAccept-Encoding: gzip,deflate\r\n",
        "\r\nAccept-Language: zh-cn\r\n",
    };
    std::size_t previous = 0;
    for (const char* line : lines) {
        const std::size_t at = request.find(line);
        ASSERT_NE(at, std::string::npos) << line << " missing from\n" << request;
        EXPECT_GT(at, previous) << line << " out of order in\n" << request;
        previous = at;
    }
    // No second Accept line of the client's own.
    EXPECT_EQ(request.find("Accept: ", request.find("\r\nAccept: */*") + 5), std::string::npos);
}

TEST_F(ProbeHttpTest, EveryOtherAnswerMeansUnreachable) {
    std::atomic<int> code{404};
    START_PAGE(page, [&](const std::string&) {
        // A 302 without a place to go cannot be followed: it is the answer.
        return StatusReply(code, "Whatever");
    });

    for (int status : {404, 401, 403, 500, 503, 204, 201, 302}) {
        code = status;
        ProbeAnswer answer;
        EXPECT_EQ(ProbeHttp(address.c_str(), &answer), 0) << "status " << status;
        EXPECT_EQ(answer.status, status);
        EXPECT_EQ(answer.error, 0) << "an answer came";
    }
    EXPECT_EQ(page->Connections(), 8);
}

TEST_F(ProbeHttpTest, GarbageInsteadOfAnAnswerMeansUnreachable) {
    std::atomic<int> which{0};
    START_PAGE(page, [&](const std::string&) -> std::string {
        switch (which) {
            case 0:
                return "\x01\x02 this is no web server\r\n\r\n";
            case 1:
                return "HTTP/1.1 OK 200\r\n\r\n";
            default:
                return "HTTP/1.1 200 OK\r\nBroken header without colon\r\n\r\n";
        }
    });

    // What came is no HTTP answer.
    for (int kind : {0, 1}) {
        which = kind;
        ProbeAnswer answer;
        EXPECT_EQ(ProbeHttp(address.c_str(), &answer), 0);
        EXPECT_EQ(answer.status, 0) << kind;
        EXPECT_EQ(answer.error, EPROTO) << kind;
    }
    // A status of 200 followed by a broken header line is no answer either.
    which = 2;
    EXPECT_EQ(ProbeHttp(address.c_str()), 0);
}

TEST_F(ProbeHttpTest, TheStatusIsReadOnlyFromTheFirstLineOfTheFinalAnswer) {
    std::atomic<int> which{0};
    START_PAGE(page, [&](const std::string&) -> std::string {
        switch (which) {
            case 0:
                // A header line may look like a status line; it is still a header line.
                return "HTTP/1.1 404 Not Found\r\nHTTP/1.1 200 OK: x\r\nContent-Length: 0\r\n\r\n";
            case 1:
                return "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 404 Not Found\r\n"
                       "HTTP/1.0 200 OK: y\r\nContent-Length: 0\r\n\r\n";
            case 2:
                // A first line without a code is no answer, whatever follows.
                return "HTTP/ Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
            default:
                // An interim answer is followed by the one that counts.
                return "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
        }
    });

    EXPECT_EQ(ProbeHttp(address.c_str()), 0);
    which = 1;
    EXPECT_EQ(ProbeHttp(address.c_str()), 0);
    which = 2;
    EXPECT_EQ(ProbeHttp(address.c_str()), 0);
    which = 3;
    EXPECT_EQ(ProbeHttp(address.c_str()), 1);
}

TEST_F(ProbeHttpTest, APageMayBeSlowButNotSilentForTwoSeconds) {
    const std::string answer = "HTTP/1.1 200 OK\r\n\r\n";
    HttpResponder::PacedReply byteByByte;
    for (char c : answer)
        byteByByte.emplace_back(150, std::string(1, c));
    HttpResponder::PacedReply manyLines{{0, "HTTP/1.1 200 OK\r\n"}};
    for (int i = 0; i < 25; ++i)
        manyLines.emplace_back(100, "X-Line-" + std::to_string(i) + ": slow\r\n");
    manyLines.emplace_back(100, "Content-Length: 0\r\n\r\n");
    const HttpResponder::PacedReply lateEnd{{1000, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"},
                                            {1500, "\r\n"}};
    // Each takes well over 2 s in all, with bytes arriving all along.
    for (const auto& pieces : {byteByByte, manyLines, lateEnd}) {
        START_PAGE(page, pieces);
        EXPECT_EQ(ProbeHttp(address.c_str()), 1) << pieces.size() << " pieces";
    }
    // 2.5 s without a byte in the middle of the headers is a failed page.
    START_PAGE(silent, (HttpResponder::PacedReply{{0, "HTTP/1.1 200 OK\r\n"}, {2500, "\r\n"}}));
    EXPECT_EQ(ProbeHttp(address.c_str()), 0);
}

TEST_F(ProbeHttpTest, AServerThatNeverAnswersFailsWithinTheTimeOuts) {
    START_PAGE(page, HttpResponder::Mode::kSilent);

    const auto start = Clock::now();
    EXPECT_EQ(ProbeHttp(address.c_str()), 0);
    EXPECT_LT(Clock::now() - start, kProbeLimit);
    EXPECT_EQ(page->Connections(), 1);
}

TEST_F(ProbeHttpTest, HeadersThatNeverEndFailWithinTheTimeOuts) {
    START_PAGE(page, HttpResponder::Mode::kTrickleHeaders);

    const auto start = Clock::now();
    EXPECT_EQ(ProbeHttp(address.c_str()), 0);
    EXPECT_LT(Clock::now() - start, kProbeLimit);
}

TEST_F(ProbeHttpTest, ThePageItselfIsNotRead) {
    START_PAGE(page, HttpResponder::Mode::kEndlessBody);

    EXPECT_EQ(ProbeHttp(address.c_str()), 1);
    // The probe hangs up once the status is in: the server stops with what fitted into the
    // socket buffers, far from the endless body it offered.
    ASSERT_TRUE(page->WaitAllClosed(10000));
    EXPECT_LT(page->BodyBytesSent(), 64ll << 20);
}

TEST_F(ProbeHttpTest, ARedirectIsFollowedToTheAnswerItLeadsTo) {
    std::string target;
    START_PAGE(page, [&](const std::string& request) {
        if (request.rfind("GET / ", 0) == 0)
            return StatusReply(302, "Found", "Location: /index.html\r\n");
        return StatusReply(200, "OK");
    });

    EXPECT_EQ(ProbeHttp(address.c_str()), 1);
    const auto requests = page->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].rfind("GET /index.html HTTP/1.1\r\n", 0), 0u) << requests[1];
}

TEST_F(ProbeHttpTest, ARedirectToAnotherAddressIsNotFollowed) {
    std::string elsewhereAddress;
    int elsewhereError = 0;
    auto elsewhere = StartPrinterPage([](const std::string&) { return StatusReply(200, "OK"); },
                                      elsewhereAddress, elsewhereError);
    START_PAGE(page, [&](const std::string&) {
        return StatusReply(302, "Found", "Location: http://" + elsewhereAddress + "/\r\n");
    });
    ASSERT_TRUE(elsewhere) << std::strerror(elsewhereError);

    EXPECT_EQ(ProbeHttp(address.c_str()), 0);
    EXPECT_EQ(page->Connections(), 1);
    EXPECT_EQ(elsewhere->Connections(), 0) << "the probe went to " << elsewhereAddress;
}

TEST_F(ProbeHttpTest, TextThatIsNotDottedIpv4FailsWithoutConnectingOrLookingUpNames) {
    // The one test that uses 127.0.0.1: "localhost" and "127.1" would lead here.
    HttpResponder page("127.0.0.1", [](const std::string&) { return StatusReply(200, "OK"); });
    if (page.error() != 0)
        GTEST_SKIP() << "cannot bind 127.0.0.1:80 (" << std::strerror(page.error()) << ")";
    ASSERT_EQ(ProbeHttp("127.0.0.1"), 1);
    ASSERT_EQ(page.Connections(), 1);

    for (const char* text :
         {"localhost", "127.1", "0x7f.0.0.1", "127.000.000.001", "127.0.0.1:80", "127.0.0.1/x",
          " 127.0.0.1", "127.0.0.1.5", "256.0.0.1", "::1", "", "http://127.0.0.1"}) {
        EXPECT_EQ(ProbeHttp(text), 0) << '"' << text << '"';
    }
    EXPECT_EQ(ProbeHttp(nullptr), 0);
    EXPECT_EQ(page.Connections(), 1);
}

TEST_F(ProbeHttpTest, TheProxyOfTheEnvironmentIsHonoured) {
    // A proxy on a loopback address of its own; no web page on the printer's address.
    std::string proxyAddress;
    std::unique_ptr<HttpResponder> proxy;
    for (int attempt = 0; attempt < 20 && !proxy; ++attempt) {
        proxyAddress = RandomLoopbackAddress();
        proxy = std::make_unique<HttpResponder>(
            proxyAddress, [](const std::string&) { return StatusReply(200, "OK"); }, 3128);
        if (proxy->error() != 0)
            proxy.reset();
    }
    ASSERT_TRUE(proxy) << "no loopback address for the proxy";
    std::string printer = RandomLoopbackAddress();
    while (printer == proxyAddress)
        printer = RandomLoopbackAddress();
    ScopedEnv httpProxy("http_proxy", "http://" + proxyAddress + ":3128");

    EXPECT_EQ(ProbeHttp(printer.c_str()), 1);
    auto requests = proxy->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET http://" + printer + "/ HTTP/1.1\r\n", 0), 0u) << requests[0];

    // Addresses listed in no_proxy go direct, and nobody is listening there.
    ScopedEnv noProxy("no_proxy", printer);
    EXPECT_EQ(ProbeHttp(printer.c_str()), 0);
    EXPECT_EQ(proxy->Requests().size(), 1u);
}

}  // namespace
