#pragma once

// The reachability check of a network printer: an HTTP GET of its web page on port 80.

namespace quillon {

// What the printer's web page answered.
struct ProbeAnswer {
    long status = 0;  // the status of its final answer; 0 when no answer came
    int error = 0;    // when none came, why: ETIMEDOUT, ECONNREFUSED, EHOSTUNREACH, EPROTO
                      // (what came was no HTTP answer), EINVAL (no dotted IPv4 address), ...
};

// 1 when the printer at `address` answers "GET /" on port 80 with status 200, else 0;
// *answer (when asked) says what came instead. The address must be dotted IPv4 text
// ("192.168.1.114"); anything else gives 0 at once, with no connection and no name lookup.
// The proxy variables of the environment apply. Blocks the caller for at most about 7 s.
int ProbeHttp(const char* address, ProbeAnswer* answer = nullptr);

}  // namespace quillon
