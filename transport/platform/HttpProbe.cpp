#include "transport/platform/HttpProbe.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <strings.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace quillon {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr long kConnectTimeoutMs = 3000;
// A printer that sends nothing at all, not even a header byte, for this long after the
// connection is up has failed.
constexpr Milliseconds kStall{2000};
// Connect, send and receive time-outs added up: the longest any probe may take, so a
// server that trickles header lines forever still fails.
constexpr Milliseconds kWholeProbe{3000 + 2000 + 2000};
constexpr int kMaxRedirects = 5;

constexpr const char* kRequestHeaders[] = {
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2; )",
    "Accept: */*",
    "Accept-Encoding: gzip,deflate",
    "Accept-Language: zh-cn",
};

// One request of the probe, as the callbacks see it.
struct Exchange {
    CURL* curl = nullptr;
    bool connected = false;  // the stall clock runs from here
    bool answered = false;   // the headers of a final (not 1xx) answer are all in
    long status = 0;         // its status, as libcurl read it from its status line
    std::string statusLine;  // the first line of the answer being read
    std::string location;    // the Location header of the answer being read
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

std::string_view TrimmedValue(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The code of a status line "HTTP/<version> <three digits>[ <reason>]", else -1.
long StatusOfLine(std::string_view line) {
    const size_t space = line.find(' ');
    if (!StartsWithNoCase(line, "HTTP/") || space == std::string_view::npos ||
        line.size() < space + 4)
        return -1;
    long code = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return -1;
        code = code * 10 + (line[i] - '0');
    }
    const char after = line.size() > space + 4 ? line[space + 4] : '\n';
    return after == ' ' || after == '\r' || after == '\n' ? code : -1;
}

// Called once per header line. At the blank line that ends the headers of an answer,
// libcurl has read its status line; a final answer ends the transfer, because its status
// (and where a redirect leads) is all the probe needs: the page itself is never read.
size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    const size_t length = size * count;
    const std::string_view line(data, length);
    if (exchange->statusLine.empty()) {
        exchange->statusLine = line;
        return length;
    }
    if (StartsWithNoCase(line, "Location:")) {
        exchange->location = TrimmedValue(line.substr(9));
        return length;
    }
    if (line != "\r\n" && line != "\n")
        return length;
    long status = 0;
    curl_easy_getinfo(exchange->curl, CURLINFO_RESPONSE_CODE, &status);
    // libcurl takes a status line it cannot read ("HTTP/ x") for "200": the line itself
    // must carry the code.
    if (StatusOfLine(exchange->statusLine) != status)
        status = 0;
    exchange->statusLine.clear();
    if (status >= 100 && status < 200) {
        exchange->location.clear();
        return length;  // an interim answer: the real one follows
    }
    exchange->status = status;
    exchange->answered = true;
    return 0;  // ends the transfer
}

int OnConnected(void* user, char*, char*, int, int) {
    static_cast<Exchange*>(user)->connected = true;
    return CURL_PREREQFUNC_OK;
}

size_t DiscardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Where a redirect from `url` to `location` leads, when that is the printer's own web
// page (plain HTTP to the same address, port 80); empty otherwise.
std::string OwnPageRedirect(const std::string& url, const std::string& location,
                            const char* address) {
    CURLU* parsed = curl_url();
    if (!parsed)
        return {};
    std::string target;
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    char* full = nullptr;
    // Set over the current URL, a relative location is resolved against it.
    if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_set(parsed, CURLUPART_URL, location.c_str(), 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_URL, &full, 0) == CURLUE_OK &&
        std::string_view(scheme) == "http" && std::string_view(host) == address &&
        std::string_view(port) == "80") {
        target = full;
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    curl_free(full);
    curl_url_cleanup(parsed);
    return target;
}

// The errno that stands for how a request without an answer ended.
int ErrorOf(CURL* curl, CURLcode result) {
    long osError = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osError);
    switch (result) {
        case CURLE_OPERATION_TIMEDOUT:
            return ETIMEDOUT;
        case CURLE_COULDNT_CONNECT:
            return osError ? static_cast<int>(osError) : ECONNREFUSED;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return osError ? static_cast<int>(osError) : ECONNRESET;
        case CURLE_OUT_OF_MEMORY:
            return ENOMEM;
        case CURLE_OK:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_WRITE_ERROR:  // the header callback ended a transfer it could not read
            return EPROTO;
        default:
            return osError ? static_cast<int>(osError) : EIO;
    }
}

// Runs one request on the multi handle until it ends, the printer stalls, or the deadline
// of the whole probe passes. Time spent waiting for any byte counts, headers included,
// which libcurl's own low-speed limit (body bytes only) does not do. Returns the errno that
// stands for how it ended, which counts only when no answer came (EPROTO when the exchange
// ended without one).
int Run(CURLM* multi, Exchange& exchange, Clock::time_point deadline) {
    curl_multi_add_handle(multi, exchange.curl);
    auto lastActivity = Clock::now();
    int error = EIO;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            break;
        if (running == 0) {
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
                if (message->msg == CURLMSG_DONE)
                    error = ErrorOf(exchange.curl, message->data.result);
            }
            break;
        }
        const auto now = Clock::now();
        if (!exchange.connected)
            lastActivity = now;
        const auto stallEnd = lastActivity + kStall;
        if (now >= deadline || now >= stallEnd) {
            error = ETIMEDOUT;
            break;
        }
        const auto wait =
            std::chrono::duration_cast<Milliseconds>(std::min(deadline, stallEnd) - now);
        int events = 0;
        if (curl_multi_wait(multi, nullptr, 0, static_cast<int>(wait.count()) + 1, &events) !=
            CURLM_OK)
            break;
        if (events > 0)
            lastActivity = Clock::now();
    }
    curl_multi_remove_handle(multi, exchange.curl);
    return error;
}

}  // namespace

int ProbeHttp(const char* address, ProbeAnswer* answer) {
    ProbeAnswer unused;
    ProbeAnswer& result = answer ? *answer : unused;
    result = {};
    in_addr parsed{};
    // Only dotted IPv4 text: a name would make libcurl look it up.
    if (!address || inet_pton(AF_INET, address, &parsed) != 1) {
        result.error = EINVAL;
        return 0;
    }
    InitCurlOnce();
    const auto deadline = Clock::now() + kWholeProbe;
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                curl_multi_cleanup);
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!multi || !curl) {
        result.error = ENOMEM;
        return 0;
    }

    curl_slist* headers = nullptr;
    for (const char* line : kRequestHeaders)
        headers = curl_slist_append(headers, line);
    Exchange exchange;
    exchange.curl = curl.get();

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    // Redirects are followed here, one by one, and only to the printer's own page: a page
    // must not send the probe to another host.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
    // No signal handlers of libcurl's own: the program has worker threads.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, OnHeaderLine);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(handle, CURLOPT_PREREQDATA, &exchange);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, DiscardBody);

    std::string url = std::string("http://") + address + "/";
    // Redirects to the printer's own page that never end in an answer time out.
    result.error = ETIMEDOUT;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        exchange.connected = false;
        exchange.answered = false;
        exchange.status = 0;
        exchange.statusLine.clear();
        exchange.location.clear();
        const int error = Run(multi.get(), exchange, deadline);
        // A failure before the headers of a final answer were in leaves no answer.
        if (!exchange.answered) {
            result.error = error;
            break;
        }
        // A redirect elsewhere is not followed: it is the answer, and it is not 200.
        std::string next;
        if (exchange.status >= 300 && exchange.status < 400 && !exchange.location.empty())
            next = OwnPageRedirect(url, exchange.location, address);
        if (next.empty()) {
            result.status = exchange.status;
            // A status line that could not be read is no HTTP answer.
            result.error = exchange.status == 0 ? EPROTO : 0;
            break;
        }
        url = next;
    }
    curl_slist_free_all(headers);
    return result.status == 200 ? 1 : 0;
}

}  // namespace quillon
