#pragma once
// The printer's listening sockets on one loopback address.

#include <string>

namespace quillon {

// A non-blocking listening TCP socket on address:port, or -1 with the reason in `error`.
int ListenOn(const std::string& address, int port, std::string& error);

}  // namespace quillon
