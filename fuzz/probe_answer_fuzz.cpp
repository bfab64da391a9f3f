// The network printer probe against any answer a web page may give: it ends in time
// (libFuzzer's -timeout), and it calls the printer reachable only when the first line of
// the answer says 200, or is an interim 1xx answer that a 200 may follow.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "transport/platform/HttpProbe.h"

using namespace quillon;

namespace {

std::mutex answerLock;
std::string answer;
std::string address;
int listener = -1;

bool Readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

// Each connection: read the request, send the answer of this run, then end the stream, so
// the probe never waits for more.
void Serve() {
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && Readable(fd, 2000)) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        std::string reply;
        {
            std::lock_guard lock(answerLock);
            reply = answer;
        }
        (void)send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        shutdown(fd, SHUT_WR);
        while (Readable(fd, 2000) && recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        close(fd);
    }
}

bool StartPage() {
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> part(1, 254);
    for (int attempt = 0; attempt < 20; ++attempt) {
        address = "127." + std::to_string(part(random)) + "." + std::to_string(part(random)) + "." +
                  std::to_string(part(random));
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(80);
        inet_pton(AF_INET, address.c_str(), &local.sin_addr);
        if (bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            listen(listener, 16) == 0)
            return true;
        close(listener);
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Requests to loopback only: no proxy may take them elsewhere.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        unsetenv(name);
    if (!StartPage()) {
        std::perror("cannot bind port 80 on a loopback address (run as root)");
        std::exit(1);
    }
    std::thread(Serve).detach();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        std::lock_guard lock(answerLock);
        answer = input;
    }
    if (ProbeHttp(address.c_str()) != 1)
        return 0;
    const std::string firstLine = input.substr(0, input.find('\n'));
    if (firstLine.find("200") == std::string::npos && firstLine.find(" 1") == std::string::npos)
        std::abort();
    return 0;
}
