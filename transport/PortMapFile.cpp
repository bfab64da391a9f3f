#include "transport/PortMapFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "transport/Conversions.h"
#include "transport/platform/Blanks.h"

namespace quillon {

namespace {

constexpr std::string_view kOwnerMark = "quillon-printer pid ";

bool AllDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// The pid of a "quillon-printer pid <n>" comment, else 0.
pid_t OwnerIn(std::string_view comment) {
    const std::string text = TrimBlanks(comment);
    if (text.rfind(kOwnerMark, 0) != 0)
        return 0;
    const std::string_view digits = std::string_view(text).substr(kOwnerMark.size());
    int pid = 0;
    if (!AllDigits(digits) || !ReadLeadingInt(digits, &pid))
        return 0;
    return pid;
}

}  // namespace

std::optional<PortMapLine> ParsePortMapLine(std::string_view line) {
    const std::string trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed[0] == '#')
        return std::nullopt;
    const size_t equals = trimmed.find('=');
    if (equals == std::string::npos)
        return std::nullopt;
    const std::string key = TrimBlanks(std::string_view(trimmed).substr(0, equals));
    if (key.size() < 4 || std::toupper(static_cast<unsigned char>(key[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(key[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(key[2])) != 'M')
        return std::nullopt;
    PortMapLine entry;
    const std::string_view digits = std::string_view(key).substr(3);
    if (!AllDigits(digits) || !ReadLeadingInt(digits, &entry.number) || entry.number < 1)
        return std::nullopt;
    std::string_view rest = std::string_view(trimmed).substr(equals + 1);
    // A comment starts at a '#' after a blank; a '#' inside a path is part of the path.
    for (size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] == '#' && (rest[i - 1] == ' ' || rest[i - 1] == '\t')) {
            entry.owner = OwnerIn(rest.substr(i + 1));
            rest = rest.substr(0, i);
            break;
        }
    }
    entry.path = TrimBlanks(rest);
    // A path with a NUL in it cannot be opened as written: the entry is no entry.
    if (entry.path.empty() || entry.path.find('\0') != std::string::npos)
        return std::nullopt;
    return entry;
}

std::string PortMapLineText(const PortMapLine& entry) {
    std::string line = "COM" + std::to_string(entry.number) + "=" + entry.path;
    if (entry.owner > 0)
        line += " # " + std::string(kOwnerMark) + std::to_string(entry.owner);
    return line;
}

bool OwnerGone(const PortMapLine& entry) {
    // EPERM: the process exists but belongs to someone else.
    return entry.owner > 0 && kill(entry.owner, 0) != 0 && errno == ESRCH;
}

bool ReadPortMapText(int fd, std::string& text, std::string& problem) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        problem = "it is not a regular file";
        return false;
    }
    const std::string tooLarge =
        "it holds more than " + std::to_string(kMaxPortMapSize >> 10) + " KiB";
    if (static_cast<unsigned long long>(info.st_size) > kMaxPortMapSize) {
        problem = tooLarge;
        return false;
    }
    // The file may grow while it is read: reading stops one piece past the limit.
    text.clear();
    char piece[64 * 1024];
    while (text.size() <= kMaxPortMapSize) {
        const ssize_t n = pread(fd, piece, sizeof piece, static_cast<off_t>(text.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            problem = std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        text.append(piece, static_cast<size_t>(n));
    }
    if (text.size() > kMaxPortMapSize) {
        problem = tooLarge;
        return false;
    }
    return true;
}

bool ReadPortMapFile(const std::string& path, std::string& text, std::string& problem) {
    text.clear();
    // Non-blocking, so that a FIFO at the name does not wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        problem = std::strerror(errno);
        return false;
    }
    const bool read = ReadPortMapText(fd, text, problem);
    close(fd);
    return read;
}

std::vector<std::string> PortMapLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

}  // namespace quillon
