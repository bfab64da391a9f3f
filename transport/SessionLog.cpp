#include "transport/SessionLog.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "transport/SessionFolder.h"
#include "transport/SessionLogFormat.h"
#include "transport/platform/FdIo.h"

namespace quillon {

namespace {

std::atomic<int> liveWriters{0};

// How long the writer lets entries gather once the first has come.
constexpr std::chrono::milliseconds kGatherTime{20};

struct Entry {
    enum class Kind { kTransmitted, kTransmittedFile, kReceived, kText };
    Kind kind = Kind::kText;
    LogClock::time_point when;
    std::vector<std::uint8_t> shown;  // the first bytes of a block
    std::uint64_t total = 0;          // the block's length
    std::shared_ptr<const SharedFile> file;
    std::int64_t offset = 0;
    std::string kindText;  // of a text line: "OPEN", "STATUS", ...
    std::string text;
};

std::string Reason(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// A file size limit (RLIMIT_FSIZE) makes a write fail with EFBIG; without this the signal
// that comes with it would end the program.
void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

}  // namespace

struct SessionLog::Shared {
    SessionLogOptions options;
    WindowRef owner;
    std::string path;
    int fd = -1;

    mutable std::mutex lock;
    std::condition_variable wake;             // for the writer: entries, or the end
    mutable std::condition_variable written;  // for WaitWritten
    std::deque<Entry> queue;
    std::uint64_t handed = 0;  // entries handed to the writer
    std::uint64_t done = 0;    // of which written or given up
    std::uint64_t lostBlocks = 0;
    std::uint64_t lostBytes = 0;
    bool ended = false;
    std::string failure;
    std::atomic<bool> failed{false};

    // The writer's own.
    std::uint64_t fileBytes = 0;
    std::uint64_t sincePrune = 0;

    ~Shared() {
        if (fd >= 0)
            close(fd);
    }

    // Hands an entry to the writer; false (and nothing queued) once the log has failed or
    // ended, or when the queue is full and `always` is not set.
    bool Push(Entry&& entry, bool always = false) {
        std::lock_guard hold(lock);
        if (ended || failed)
            return false;
        if (!always && queue.size() >= options.queueLimit) {
            ++lostBlocks;
            lostBytes += entry.total;
            return false;
        }
        queue.push_back(std::move(entry));
        ++handed;
        // The writer waits for a first entry, and then for half a queue at most.
        if (queue.size() == 1 || queue.size() == options.queueLimit / 2)
            wake.notify_one();
        return true;
    }

    // A block sent or received: only its first bytes are kept.
    void PushBlock(Entry::Kind kind, const std::uint8_t* bytes, std::size_t count) {
        if (count == 0 || failed)
            return;
        Entry e;
        e.kind = kind;
        e.when = LogClock::now();
        e.shown.assign(bytes, bytes + std::min(count, kShownBytes));
        e.total = count;
        Push(std::move(e));
    }

    void Format(std::string& out, const Entry& e) const {
        switch (e.kind) {
            case Entry::Kind::kTransmitted:
                AppendBlockLine(out, e.when, "TX", e.shown.data(), e.shown.size(), e.total);
                break;
            case Entry::Kind::kReceived:
                AppendBlockLine(out, e.when, "RX", e.shown.data(), e.shown.size(), e.total);
                break;
            case Entry::Kind::kTransmittedFile: {
                std::uint8_t shown[kShownBytes];
                const ssize_t got = ReadAt(e.file->fd(), shown,
                                           std::min<std::uint64_t>(e.total, kShownBytes), e.offset);
                AppendBlockLine(out, e.when, "TX", shown,
                                got > 0 ? static_cast<std::size_t>(got) : 0, e.total);
                break;
            }
            case Entry::Kind::kText:
                AppendTextLine(out, e.when, e.kindText.c_str(), e.text);
                break;
        }
    }

    // Writes all of `text`; the reason when the file takes no more.
    std::string WriteAll(const std::string& text) {
        std::size_t at = 0;
        while (at < text.size()) {
            const ssize_t n = write(fd, text.data() + at, text.size() - at);
            if (n > 0) {
                at += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return Reason(path, n < 0 ? errno : ENOSPC);
        }
        fileBytes += text.size();
        sincePrune += text.size();
        return {};
    }

    // Keeps the folder under its limit; a session that alone outgrows it stops here.
    std::string Prune() {
        sincePrune = 0;
        PruneSessionFolder(options.folder, options.limitBytes, path);
        if (fileBytes <= options.limitBytes)
            return {};
        std::string last;
        AppendTextLine(last, LogClock::now(), "LIMIT",
                       "this session has outgrown the limit of the sessions folder (" +
                           std::to_string(options.limitBytes >> 20) +
                           " MiB); nothing more is logged");
        (void)WriteAll(last);
        return path + ": the session log outgrew the limit of its folder (" +
               std::to_string(options.limitBytes >> 20) + " MiB)";
    }

    void Run() {
        std::string problem = Prune();
        bool told = false;
        for (;;) {
            std::deque<Entry> batch;
            std::uint64_t lostBlocksNow = 0, lostBytesNow = 0;
            bool finished = false;
            {
                std::unique_lock hold(lock);
                wake.wait(hold, [this] { return !queue.empty() || ended || lostBlocks != 0; });
                // A flood of blocks is taken in a few large batches rather than one wake-up
                // and one write a block: the writer then takes little of the time the window
                // needs for showing them.
                wake.wait_for(hold, kGatherTime,
                              [this] { return ended || queue.size() >= options.queueLimit / 2; });
                batch.swap(queue);
                std::swap(lostBlocksNow, lostBlocks);
                std::swap(lostBytesNow, lostBytes);
                finished = ended;
            }
            if (problem.empty()) {
                std::string text;
                for (const Entry& e : batch)
                    Format(text, e);
                // Blocks turned away while the queue was full came after all of these.
                if (lostBlocksNow != 0)
                    AppendTextLine(text, LogClock::now(), "LOST",
                                   std::to_string(lostBlocksNow) + " blocks (" +
                                       std::to_string(lostBytesNow) +
                                       " bytes) not logged: the log fell behind");
                problem = WriteAll(text);
                if (problem.empty() && sincePrune > options.limitBytes / 8)
                    problem = Prune();
            }
            {
                std::lock_guard hold(lock);
                done += batch.size();
                if (!problem.empty() && failure.empty()) {
                    failure = problem;
                    failed = true;
                    // What is still queued will not be written either.
                    done += queue.size();
                    queue.clear();
                }
                written.notify_all();
            }
            // Said once, after the waiters have been let go: the owner may be one of them.
            if (!problem.empty() && !told) {
                told = true;
                if (owner)
                    owner->SendMessage(UM_SESSION_LOG_FAILED, 0, 0);
            }
            if (finished || (!problem.empty() && Ended()))
                return;
        }
    }

    bool Ended() const {
        std::lock_guard hold(lock);
        return ended;
    }
};

std::shared_ptr<SessionLog> SessionLog::Start(const SessionLogOptions& options,
                                              const std::string& portName,
                                              const std::string& openText, WindowRef owner) {
    IgnoreFileSizeSignal();
    auto shared = std::make_shared<Shared>();
    shared->options = options;
    shared->owner = std::move(owner);
    std::shared_ptr<SessionLog> log(new SessionLog(shared));
    const auto now = LogClock::now();
    const NewSessionFile file = CreateSessionFile(
        options.folder, portName,
        std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count());
    if (file.fd < 0) {
        shared->failure = Reason(options.folder, file.error);
        shared->failed = true;
        shared->ended = true;
        return log;
    }
    shared->fd = file.fd;
    shared->path = file.path;
    Entry open;
    open.when = now;
    open.kindText = "OPEN";
    open.text = openText;
    shared->Push(std::move(open), true);
    try {
        ++liveWriters;
        std::thread([shared] {
            shared->Run();
            --liveWriters;
        }).detach();
    } catch (const std::system_error& e) {
        --liveWriters;
        std::lock_guard hold(shared->lock);
        shared->failure = shared->path + ": " + e.what();
        shared->failed = true;
        shared->ended = true;
    }
    return log;
}

SessionLog::~SessionLog() {
    End({});
}

void SessionLog::Transmitted(const std::uint8_t* bytes, std::size_t count) {
    shared_->PushBlock(Entry::Kind::kTransmitted, bytes, count);
}

void SessionLog::TransmittedFile(std::shared_ptr<const SharedFile> file, std::int64_t offset,
                                 std::size_t length) {
    if (length == 0 || !file || shared_->failed)
        return;
    Entry e;
    e.kind = Entry::Kind::kTransmittedFile;
    e.when = LogClock::now();
    e.file = std::move(file);
    e.offset = offset;
    e.total = length;
    shared_->Push(std::move(e));
}

void SessionLog::Received(const std::uint8_t* bytes, std::size_t count) {
    shared_->PushBlock(Entry::Kind::kReceived, bytes, count);
}

void SessionLog::Note(const char* kind, const std::string& text) {
    if (shared_->failed)
        return;
    Entry e;
    e.when = LogClock::now();
    e.kindText = kind;
    e.text = text;
    shared_->Push(std::move(e), true);
}

void SessionLog::End(const std::string& text) {
    Entry e;
    e.when = LogClock::now();
    e.kindText = "CLOSE";
    e.text = text;
    shared_->Push(std::move(e), true);
    std::lock_guard hold(shared_->lock);
    shared_->ended = true;
    shared_->wake.notify_one();
}

const std::string& SessionLog::Path() const {
    return shared_->path;
}

std::string SessionLog::Failure() const {
    std::lock_guard hold(shared_->lock);
    return shared_->failure;
}

bool SessionLog::WaitWritten(std::chrono::milliseconds limit) const {
    std::unique_lock hold(shared_->lock);
    const std::uint64_t target = shared_->handed;
    return shared_->written.wait_for(hold, limit, [&] { return shared_->done >= target; });
}

int LiveSessionWriters() {
    return liveWriters;
}

}  // namespace quillon
