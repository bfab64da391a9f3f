#pragma once

// The TCP connection to a network printer's raw port.

namespace quillon {

// Connects to `address` (dotted IPv4 text, never a name) on `port` and returns the socket,
// connected and non-blocking, or -1 with nothing left open and *error (when asked) set to
// why: ECONNREFUSED, ETIMEDOUT, EHOSTUNREACH, EINVAL for no address or port, ... Send and
// receive time-outs of 2000 ms; the attempt ends after the system's own connect or, at the
// latest, once the socket has not become writable 3 s after that.
int ConnectPrinterSocket(const char* address, int port, int* error = nullptr);

}  // namespace quillon
