#pragma once
// The printer's web page and its small HTTP API on the loopback address, for scripts that
// set and read what the printer's sensors see:
//   GET  /              the page
//   GET  /api/status    the state as JSON, with the DLE EOT 1-4 answers it gives
//   POST /api/state     cover=open|closed, paper=ok|near-end|out, drawer=open|closed, as a
//                       form body or a query; answers with the new state
//   GET  /api/jobs      the recent jobs' journal entries, oldest first
//   GET  /api/jobs/N.png, /api/jobs/N-P.png
//                       the first page of job N, or its part P

#include <string>

namespace quillon {

class PrinterSession;

// Whether `request` holds a whole request: its headers and as much body as they declare.
bool RequestComplete(const std::string& request);

// The whole HTTP response to `request` (the connection closes after it).
std::string WebResponse(const std::string& request, PrinterSession& session,
                        const std::string& pageTitle);

}  // namespace quillon
