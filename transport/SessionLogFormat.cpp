#include "transport/SessionLogFormat.h"

#include <time.h>

#include <cstdio>

namespace quillon {

std::string SessionTimestamp(LogClock::time_point when) {
    const auto sinceEpoch = when.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const time_t t = static_cast<time_t>(seconds.count());
    tm local{};
    localtime_r(&t, &local);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return text;
}

void AppendBlockLine(std::string& out, LogClock::time_point when, const char* direction,
                     const std::uint8_t* shown, std::size_t shownCount, std::uint64_t total) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += SessionTimestamp(when);
    out += ' ';
    out += direction;
    out += ' ';
    out += std::to_string(total);
    for (std::size_t i = 0; i < shownCount; ++i) {
        out += ' ';
        out += kDigits[shown[i] >> 4];
        out += kDigits[shown[i] & 0x0F];
    }
    if (total > shownCount)
        out += " ... (" + std::to_string(total - shownCount) + " more bytes)";
    out += " |";
    for (std::size_t i = 0; i < shownCount; ++i)
        out += shown[i] >= 0x20 && shown[i] < 0x7F ? static_cast<char>(shown[i]) : '.';
    out += "|\n";
}

void AppendTextLine(std::string& out, LogClock::time_point when, const char* kind,
                    const std::string& text) {
    out += SessionTimestamp(when);
    out += ' ';
    out += kind;
    if (!text.empty()) {
        out += ' ';
        for (const char c : text)
            out += c == '\n' || c == '\r' ? ' ' : c;
    }
    out += '\n';
}

}  // namespace quillon
