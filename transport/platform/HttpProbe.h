#pragma once

// The reachability check of a network printer: an HTTP GET of its web page on port 80.

namespace quillon {

// 1 when the printer at `address` answers "GET /" on port 80 with status 200, else 0.
// The address must be dotted IPv4 text ("192.168.1.114"); anything else gives 0 at once,
// with no connection and no name lookup. The proxy variables of the environment apply.
// Blocks the caller for at most about 7 s.
int ProbeHttp(const char* address);

}  // namespace quillon
