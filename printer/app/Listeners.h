#pragma once
// The printer's listening sockets on one loopback address.

#include <string>

namespace quillon {

// A non-blocking listening TCP socket on address:port, or -1 with the reason in `error`.
int ListenOn(const std::string& address, int port, std::string& error);

// Why a socket could not be bound to `port`, in words that say what to do: another program
// has it, it needs privilege, or the address is not this machine's; the system's text follows.
std::string BindFailure(int error, int port);

}  // namespace quillon
