#pragma once
// The log of one port session, both directions: one file in the sessions folder, written by
// a thread of its own, so that whoever reports a block (the receive path above all) only
// hands over its first bytes and returns. What the writer has not taken yet waits in a queue
// of bounded size; blocks beyond it are counted and the count is logged. A log that cannot
// be written says so once, to its owner, and from then on takes nothing more: the port it
// logs goes on as before. The folder is kept under its size limit as the session grows.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/Window.h"

namespace quillon {

class SharedFile;

struct SessionLogOptions {
    std::string folder;                       // with its trailing '/'
    std::uint64_t limitBytes = 256ull << 20;  // all sessions in the folder together
    std::size_t queueLimit = 4096;            // entries waiting for the writer
};

class SessionLog {
  public:
    // Creates the session's file for `portName` and writes "OPEN <openText>" as its first line.
    // When the file cannot be made the log is returned all the same, with its Failure() set
    // and nothing written; owner is told UM_SESSION_LOG_FAILED only of failures that come
    // later, from the writer.
    static std::shared_ptr<SessionLog> Start(const SessionLogOptions& options,
                                             const std::string& portName,
                                             const std::string& openText, WindowRef owner);
    // Ends the session as End("") does.
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // A block sent ("TX"); a stretch of a file sent from the file itself; a block received.
    void Transmitted(const std::uint8_t* bytes, std::size_t count);
    void TransmittedFile(std::shared_ptr<const SharedFile> file, std::int64_t offset,
                         std::size_t length);
    void Received(const std::uint8_t* bytes, std::size_t count);
    // A line of its own kind: "STATUS", "DEVICES", "TX-FAILED", ...
    void Note(const char* kind, const std::string& text);
    // The closing line "CLOSE <text>"; nothing is logged after it. The writer finishes what
    // is queued and ends by itself.
    void End(const std::string& text);

    const std::string& Path() const;
    // Why the log is not written, or empty while it is.
    std::string Failure() const;
    // Waits until everything handed over so far is written (or given up); false when that
    // took longer than `limit`.
    bool WaitWritten(std::chrono::milliseconds limit) const;

    struct Shared;

  private:
    explicit SessionLog(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    std::shared_ptr<Shared> shared_;
};

// How many session writers are still finishing their files. They end by themselves; the
// program waits for them briefly on its way out.
int LiveSessionWriters();

}  // namespace quillon
