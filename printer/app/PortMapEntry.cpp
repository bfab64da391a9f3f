#include "printer/app/PortMapEntry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include "transport/PortMapFile.h"
#include "transport/platform/SafeFiles.h"

namespace quillon {

namespace {

using Lines = std::vector<std::string>;

// Where a map that is a symlink really is; the path itself when it is none. The place need
// not exist yet.
std::string FollowLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0)
            return path;
        const std::string to(target, static_cast<size_t>(n));
        const size_t slash = path.rfind('/');
        path = to[0] == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
    }
    return path;  // a loop: opening it says so
}

// The map file opened and locked against other printers until this goes.
class MapLock {
  public:
    ~MapLock() {
        if (fd_ >= 0)
            close(fd_);
    }
    bool Take(const std::string& path, std::string& error);
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

bool MapLock::Take(const std::string& path, std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        fd_ = open(path.c_str(),
                   O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            error = std::strerror(errno);
            return false;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error = std::strerror(errno);
                return false;
            }
        }
        // A printer that held the lock before may have put a new file in place meanwhile;
        // then that one is the map to lock.
        struct stat held {
        }, named{};
        if (fstat(fd_, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return true;
        close(fd_);
        fd_ = -1;
    }
    error = "it keeps being replaced";
    return false;
}

// Reads the map under its lock, lets `change` edit the lines and puts the result in place.
bool Rewrite(const std::string& shown, const std::string& path,
             const std::function<bool(Lines&, std::string&)>& change, std::string& error) {
    MapLock lock;
    std::string text;
    if (!lock.Take(path, error) || !ReadPortMapText(lock.fd(), text, error)) {
        error = "cannot use the port map " + shown + ": " + error;
        return false;
    }
    Lines lines = PortMapLines(text);
    if (!change(lines, error))
        return false;
    std::string joined;
    for (const std::string& line : lines)
        joined += line + '\n';
    if (const int failed = ReplaceFile(path, {joined})) {
        error = "cannot write the port map " + shown + ": " + std::strerror(failed) +
                " (it is left as it was)";
        return false;
    }
    return true;
}

}  // namespace

PortMapEntry::~PortMapEntry() {
    std::string ignored;
    Remove(ignored);
}

bool PortMapEntry::Register(const std::string& file, int number, const std::string& device,
                            std::string& error) {
    const std::string path = FollowLinks(file);
    std::error_code ec;
    const auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ec);
    PortMapLine mine{number, device, getpid()};
    const bool written = Rewrite(
        file, path,
        [&](Lines& lines, std::string& why) {
            // Lines of printers that have ended go; their numbers are free again.
            std::erase_if(lines, [](const std::string& line) {
                const auto entry = ParsePortMapLine(line);
                return entry && OwnerGone(*entry);
            });
            std::set<int> used;
            for (const std::string& line : lines) {
                const auto entry = ParsePortMapLine(line);
                if (!entry)
                    continue;
                if (entry->number == mine.number && entry->owner > 0) {
                    why = "COM" + std::to_string(mine.number) +
                          " is taken by quillon-printer pid " + std::to_string(entry->owner);
                    return false;
                }
                used.insert(entry->number);
            }
            if (mine.number == 0) {
                mine.number = 9;
                while (used.count(mine.number))
                    ++mine.number;
            }
            std::erase_if(lines, [&](const std::string& line) {
                const auto entry = ParsePortMapLine(line);
                return entry && entry->number == mine.number;
            });
            lines.push_back(PortMapLineText(mine));
            return true;
        },
        error);
    if (!written)
        return false;
    file_ = path;
    line_ = PortMapLineText(mine);
    number_ = mine.number;
    return true;
}

bool PortMapEntry::Remove(std::string& error) {
    if (line_.empty())
        return true;
    const bool written = Rewrite(
        file_, file_,
        [this](Lines& lines, std::string&) {
            std::erase(lines, line_);
            return true;
        },
        error);
    line_.clear();
    return written;
}

}  // namespace quillon
