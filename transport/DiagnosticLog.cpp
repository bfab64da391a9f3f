#include "transport/DiagnosticLog.h"

#include <sys/time.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "transport/TextFile.h"
#include "transport/platform/SafeFiles.h"

namespace quillon {

namespace {

int LogEnabledFromEnvironment() {
    const char* value = std::getenv("QUILLON_LOG");
    return value && std::strcmp(value, "1") == 0 ? 1 : 0;
}

// Lines from different threads never mix; the functions call each other while holding it.
std::recursive_mutex& LogLock() {
    static std::recursive_mutex lock;
    return lock;
}

}  // namespace

std::atomic<int> logEnabled{LogEnabledFromEnvironment()};

std::string LogTimestamp() {
    std::lock_guard lock(LogLock());
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[64];
    std::snprintf(text, sizeof text, "[%04d-%02d-%02d %02d:%02d:%02d %d]  ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.tv_usec / 1000));
    return text;
}

void LogWrite(const char* functionName, const char* message, const char* logFileName,
              const char* sourceName, long lineNumber) {
    std::lock_guard lock(LogLock());
    if (logEnabled != 1 || !message || !*message)
        return;
    const std::string lineText = std::to_string(lineNumber);
    const std::string function = functionName ? functionName : "";
    const long fill = 80 - static_cast<long>(lineText.size() + function.size() +
                                             std::strlen(sourceName ? sourceName : ""));
    std::string line = LogTimestamp();
    line += ' ';
    if (fill > 0)
        line.append(static_cast<std::size_t>(fill), ' ');
    line += function + " | L" + lineText + ": " + message + "\n";
    AppendToFile(logFileName ? logFileName : kLogFileName, WithCrLf(line));
}

void LogWriteFormat(const char* functionName, const char* logFileName, const char* sourceName,
                    long lineNumber, const char* format, ...) {
    std::lock_guard lock(LogLock());
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    LogWrite(functionName, message, logFileName, sourceName, lineNumber);
}

}  // namespace quillon
