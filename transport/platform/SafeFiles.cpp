#include "transport/platform/SafeFiles.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace quillon {

namespace {

// Closes fd and gives the first error: the one passed in, else the one of close.
int CloseWith(int fd, int error) {
    const int closed = close(fd) == 0 ? 0 : errno;
    return error ? error : closed;
}

int SyncAndClose(int fd, int error) {
    if (!error && fsync(fd) != 0)
        error = errno;
    return CloseWith(fd, error);
}

// A name beside `path` that nobody is likely to use: ".<name>.<random hex>".
std::string TemporaryNameBeside(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    unsigned long long random = 0;
    if (getrandom(&random, sizeof random, 0) != sizeof random)
        random = static_cast<unsigned long long>(getpid()) * 2654435761u ^
                 static_cast<unsigned long long>(std::time(nullptr));
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx", random);
    return folder + "." + name + suffix;
}

}  // namespace

int WriteParts(int fd, std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts) {
        while (!part.empty()) {
            const ssize_t n = write(fd, part.data(), part.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            if (n == 0)
                return EIO;
            part.remove_prefix(static_cast<size_t>(n));
        }
    }
    return 0;
}

int CreateNewFile(const std::string& path, std::initializer_list<std::string_view> parts) {
    // O_EXCL refuses any name that exists, a symlink included, dangling or not.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    const int error = SyncAndClose(fd, WriteParts(fd, parts));
    if (error)
        unlink(path.c_str());
    return error;
}

int ReplaceFile(const std::string& path, std::initializer_list<std::string_view> parts) {
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = TemporaryNameBeside(path);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    struct stat old {};
    int error = 0;
    if (lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) && fchmod(fd, old.st_mode & 07777))
        error = errno;
    if (!error)
        error = WriteParts(fd, parts);
    error = SyncAndClose(fd, error);
    if (!error && rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error)
        unlink(temporary.c_str());
    return error;
}

int AppendToFile(const std::string& path, std::string_view data) {
    // O_NONBLOCK keeps a FIFO planted at the name from holding the open.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    bool created = true;
    int fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = open(path.c_str(), kFlags);
    }
    if (fd < 0)
        return errno;
    struct stat before {};
    if (fstat(fd, &before) != 0)
        return CloseWith(fd, errno);
    if (!S_ISREG(before.st_mode))
        return CloseWith(fd, EINVAL);
    const int error = WriteParts(fd, {data});
    if (error && created) {
        unlink(path.c_str());
    } else if (error) {
        // What did go in is cut off again; if even that fails, the error stays the write's.
        [[maybe_unused]] const int cut = ftruncate(fd, before.st_size);
    }
    return CloseWith(fd, error);
}

}  // namespace quillon
