#pragma once
// A process-wide developer log: one line per event appended to "Quillon.log" in the
// current folder, written only while logEnabled is 1 (QUILLON_LOG=1 at start, or --log).

#include <atomic>
#include <string>

namespace quillon {

extern std::atomic<int> logEnabled;

constexpr const char* kLogFileName = "Quillon.log";

// Appends "[time]  " + padding + function + " | L" + line + ": " + message and a line end.
// The source name only sets the padding. Nothing is written for an empty message.
void LogWrite(const char* functionName, const char* message, const char* logFileName,
              const char* sourceName, long lineNumber);

// Formats the message printf-style (at most 1023 characters), then LogWrite.
void LogWriteFormat(const char* functionName, const char* logFileName, const char* sourceName,
                    long lineNumber, const char* format, ...) __attribute__((format(printf, 5, 6)));

// "[YYYY-MM-DD hh:mm:ss ms]  " of the local time.
std::string LogTimestamp();

}  // namespace quillon
