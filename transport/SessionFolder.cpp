#include "transport/SessionFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace quillon {

namespace {

// Only letters, digits, '.', '-' and '_' of a port name go into a file name.
std::string FileNamePart(const std::string& name) {
    std::string part;
    for (const char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        part += plain ? c : '_';
    }
    return part.empty() ? "port" : part;
}

struct OldSession {
    std::string path;
    std::uint64_t size;
    std::int64_t modified;  // nanoseconds
};

}  // namespace

int MakeSessionFolder(const std::string& folder) {
    std::string path;
    for (std::size_t at = 0; at != std::string::npos;) {
        const std::size_t next = folder.find('/', at + 1);
        path = folder.substr(0, next);
        at = next;
        if (path.empty() || path == "/")
            continue;
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0)
        return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

std::string SessionFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::string(state) + "/Quillon/sessions/";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/state/Quillon/sessions/";
}

NewSessionFile CreateSessionFile(const std::string& folder, const std::string& portName,
                                 std::int64_t when) {
    NewSessionFile file;
    if ((file.error = MakeSessionFolder(folder)) != 0)
        return file;
    const time_t t = static_cast<time_t>(when);
    tm local{};
    localtime_r(&t, &local);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string base = folder + stamp + "_" + FileNamePart(portName);
    for (int n = 1; n < 1000; ++n) {
        const std::string path = base + (n == 1 ? "" : "-" + std::to_string(n)) + ".log";
        const int fd = open(path.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0600);
        if (fd >= 0) {
            (void)flock(fd, LOCK_SH);
            file.fd = fd;
            file.path = path;
            return file;
        }
        if (errno != EEXIST) {
            file.error = errno;
            return file;
        }
    }
    file.error = EEXIST;
    return file;
}

std::uint64_t PruneSessionFolder(const std::string& folder, std::uint64_t limitBytes,
                                 const std::string& keep) {
    std::vector<OldSession> sessions;
    std::uint64_t total = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string path = entry.path().string();
        struct stat info {};
        // Regular files only, never what a link points to.
        if (entry.path().extension() != ".log" || lstat(path.c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        const auto size = static_cast<std::uint64_t>(info.st_size);
        total += size;
        if (path != keep)
            sessions.push_back({path, size,
                                static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                                    info.st_mtim.tv_nsec});
    }
    std::sort(sessions.begin(), sessions.end(), [](const OldSession& a, const OldSession& b) {
        return a.modified != b.modified ? a.modified < b.modified : a.path < b.path;
    });
    for (const OldSession& old : sessions) {
        if (total <= limitBytes)
            break;
        const int fd = open(old.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A session still being written (by this program or another) holds its file.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(old.path.c_str()) == 0)
            total -= std::min(total, old.size);
        close(fd);
    }
    return total;
}

}  // namespace quillon
