#include "app/FileReading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quillon {

namespace {

constexpr qint64 kReadChunk = 1 << 20;

// Closes the descriptor however the read ends, unless it is handed on.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            close(fd);
    }
};

}  // namespace

FileReadResult ReadFileToSend(const QString& path, bool leaveRegularOpen, qint64 limit) {
    FileReadResult result;
    // Without O_NONBLOCK a FIFO nobody writes to would hold the window at the open.
    const int fd =
        open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.outcome = FileReadResult::kCannotOpen;
        result.error = errno;
        return result;
    }
    FdCloser closer{fd};
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        result.outcome = FileReadResult::kCannotOpen;
        result.error = errno;
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.outcome = FileReadResult::kFolder;
        return result;
    }
    if (S_ISREG(info.st_mode)) {
        if (info.st_size > limit) {
            result.outcome = FileReadResult::kTooLarge;
            return result;
        }
        // A file that claims no size (as those of /proc do) is read to its end instead.
        if (leaveRegularOpen && info.st_size > 0) {
            result.outcome = FileReadResult::kOpened;
            result.fd = fd;
            result.size = info.st_size;
            closer.fd = -1;
            return result;
        }
        // Room for the whole file and the read that finds its end.
        result.bytes.reserve(static_cast<qsizetype>(info.st_size + kReadChunk));
    }

    // Read until the end, what a device or FIFO has right now, or one byte past the limit.
    qint64 total = 0;
    for (;;) {
        const qint64 room = std::min(kReadChunk, limit + 1 - total);
        result.bytes.resize(static_cast<qsizetype>(total + room));
        const ssize_t n = read(fd, result.bytes.data() + total, static_cast<std::size_t>(room));
        if (n > 0) {
            total += n;
            if (total > limit) {
                result.bytes.clear();
                result.bytes.squeeze();
                result.outcome = FileReadResult::kTooLarge;
                return result;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            result.bytes.clear();
            result.outcome = FileReadResult::kReadError;
            result.error = errno;
            return result;
        }
        break;  // the end, or nothing more to read without waiting
    }
    result.bytes.resize(static_cast<qsizetype>(total));
    return result;
}

}  // namespace quillon
