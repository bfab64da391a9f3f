#include "transport/platform/HttpProbe.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <strings.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>

namespace quillon {

namespace {

constexpr long kConnectTimeoutMs = 3000;
// A printer that sends nothing for this long after the connection is up has failed.
constexpr long kStallSeconds = 2;
// Connect, send and receive time-outs added up: the longest any probe may take, so a
// server that trickles header lines forever still fails.
constexpr long kWholeProbeMs = 3000 + 2000 + 2000;
constexpr long kMaxRedirects = 5;

constexpr const char* kRequestHeaders[] = {
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2; )",
    "Accept: */*",
    "Accept-Encoding: gzip,deflate",
    "Accept-Language: zh-cn",
};

// What the header callback learned about the answers so far.
struct ProbeAnswer {
    long status = 0;           // status line of the answer being read
    bool hasLocation = false;  // that answer names a place to go on to
    long finalStatus = 0;      // status of the answer that decides; 0 until its headers are in
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// Called once per header line. The transfer stops at the end of the headers of the answer
// that decides: its status is all the probe needs, the page itself is never read.
size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) {
    auto* answer = static_cast<ProbeAnswer*>(user);
    const size_t length = size * count;
    const std::string_view line(data, length);
    if (StartsWithNoCase(line, "HTTP/")) {
        const size_t space = line.find(' ');
        answer->status =
            space == std::string_view::npos ? 0 : std::strtol(data + space + 1, nullptr, 10);
        answer->hasLocation = false;
    } else if (StartsWithNoCase(line, "Location:")) {
        answer->hasLocation = true;
    } else if (line == "\r\n" || line == "\n") {
        // An interim answer (1xx) or a redirect is followed by the real answer.
        const bool interim = answer->status >= 100 && answer->status < 200;
        const bool redirect = answer->status >= 300 && answer->status < 400 && answer->hasLocation;
        if (!interim && !redirect) {
            answer->finalStatus = answer->status;
            return 0;  // ends the transfer
        }
    }
    return length;
}

size_t DiscardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

int ProbeHttp(const char* address) {
    in_addr parsed{};
    // Only dotted IPv4 text: a name would make libcurl look it up.
    if (!address || inet_pton(AF_INET, address, &parsed) != 1)
        return 0;
    InitCurlOnce();
    CURL* curl = curl_easy_init();
    if (!curl)
        return 0;

    curl_slist* headers = nullptr;
    for (const char* line : kRequestHeaders)
        headers = curl_slist_append(headers, line);
    const std::string url = std::string("http://") + address;
    ProbeAnswer answer;

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    // Redirects are followed, as the Windows Internet client does, but only over plain HTTP.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
    // No signal handlers of libcurl's own: the program has worker threads.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kWholeProbeMs);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, DiscardBody);

    // The result code does not matter: the transfer ends early on purpose once the
    // deciding status is known, and any failure before that leaves finalStatus 0.
    curl_easy_perform(curl);

    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return answer.finalStatus == 200 ? 1 : 0;
}

}  // namespace quillon
