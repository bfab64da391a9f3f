#include "printer/app/ReceiveLoop.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "printer/app/PrinterSession.h"
#include "printer/app/WebApi.h"

namespace quillon {

namespace {

constexpr size_t kReadSize = 1024 * 1024;  // the most read at once into the printer
constexpr size_t kMaxRequest = 8 * 1024;
// Answers that arrive while earlier ones wait join them up to this size, so that many small
// answers do not each cost a piece of their own.
constexpr size_t kJoinAnswers = 4096;
// How long the listening sockets rest when the process has no descriptor left for a client.
constexpr auto kAcceptRest = std::chrono::milliseconds(100);
// How soon a connection that paused in the middle of a job is looked at again while others
// wait for their turn.
constexpr auto kJobEndRecheck = std::chrono::milliseconds(100);
// The most of what the terminal's last client left that is read at its end.
constexpr size_t kPtyLeftover = 1024 * 1024;

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

ReceiveLoop::ReceiveLoop(PrinterSession& session, int ptyFd, const std::string& ptyPath,
                         std::vector<Listener> listeners, ReceiveOptions options)
    : session_(session), listeners_(std::move(listeners)), options_(std::move(options)) {
    connections_.emplace_back(ptyFd, 0, false);
    // The printer holds the terminal side open itself, so a client's close never shows on its
    // end; the file's open and close events do.
    ptyWatch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (ptyWatch_ >= 0 && inotify_add_watch(ptyWatch_, ptyPath.c_str(),
                                            IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        close(ptyWatch_);
        ptyWatch_ = -1;
    }
}

ReceiveLoop::~ReceiveLoop() {
    Stop();
    for (size_t i = 1; i < connections_.size(); ++i)
        close(connections_[i].fd);
    for (const Listener& l : listeners_)
        close(l.fd);
    if (ptyWatch_ >= 0)
        close(ptyWatch_);
}

void ReceiveLoop::Start() {
    thread_ = std::thread([this] { Run(); });
}

void ReceiveLoop::Stop() {
    stop_.Signal();
    if (thread_.joinable())
        thread_.join();
}

void ReceiveLoop::Run() {
    std::vector<pollfd> fds;
    for (;;) {
        const Clock::time_point now = Clock::now();
        // A job's connection that is not read because the buffer is full has not paused.
        if (active_ >= 0 && session_.Backlogged())
            lastData_ = now;
        Clock::time_point deadline = EndPause(now);
        ServeTurns();
        DeliverAnswers();
        deadline = std::min({deadline, DropIdle(now), session_.Tick(now)});
        const bool resting = now < acceptRest_;
        if (resting)
            deadline = std::min(deadline, acceptRest_);

        const bool backlogged = session_.Backlogged();
        fds.clear();
        fds.push_back({stop_.fd(), POLLIN, 0});
        fds.push_back({session_.answersReadyFd(), POLLIN, 0});
        fds.push_back({ptyWatch_, POLLIN, 0});
        for (const Listener& l : listeners_)
            fds.push_back({resting ? -1 : l.fd, POLLIN, 0});
        for (const Connection& c : connections_) {
            short events = 0;
            if (c.http)
                events = c.closeWhenSent ? 0 : POLLIN;
            else if (active_ < 0 || c.id == active_)
                events = backlogged || !c.waiting.empty() ? 0 : POLLIN;
            else
                events = c.ended || c.waiting.size() >= kWaitingBuffer ? 0 : POLLIN;
            if (c.outBytes > 0)
                events |= POLLOUT;
            // A connection not read leaves the poll entirely, so that a peer that hangs up
            // meanwhile cannot keep waking the loop.
            fds.push_back({events == 0 ? -1 : c.fd, events, 0});
        }
        int timeout = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
            timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, 60 * 60 * 1000));
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (ready <= 0)
            continue;
        if (fds[1].revents)
            session_.ClearAnswersReady();
        if (fds[2].revents)
            WatchPty();
        for (size_t i = 0; i < listeners_.size(); ++i)
            if (fds[3 + i].revents & POLLIN)
                Accept(listeners_[i]);
        const size_t first = 3 + listeners_.size();
        // Walk backwards so that closing a connection does not shift the ones still to see.
        for (size_t k = std::min(connections_.size(), fds.size() - first); k-- > 0;) {
            const short revents = fds[first + k].revents;
            Connection& c = connections_[k];
            bool alive = true;
            if (revents & (POLLIN | POLLHUP | POLLERR))
                alive = c.http ? ReadRequest(c) : ReadFrom(c);
            if (alive && (revents & POLLOUT))
                alive = Flush(c);
            if (!alive && k > 0 && Gone(c))
                Close(k);
        }
    }
}

ReceiveLoop::Clock::time_point ReceiveLoop::EndPause(Clock::time_point now) {
    if (active_ < 0)
        return Clock::time_point::max();
    const auto idleEnd = lastData_ + std::chrono::milliseconds(options_.idleMs);
    const auto turnEnd = lastData_ + std::chrono::milliseconds(options_.turnPauseMs);
    const bool idle = options_.idleMs > 0 && now >= idleEnd;
    const bool handOver = !turns_.empty() && now >= turnEnd;
    Clock::time_point next = Clock::time_point::max();
    if (options_.idleMs > 0 && !idle)
        next = idleEnd;
    if (!turns_.empty() && !handOver)
        next = std::min(next, turnEnd);
    if (!idle && !handOver)
        return next;
    // A pause is only a pause if nothing waits to be read: a printer that was itself kept
    // from running for a while must not take the data that piled up meanwhile for one.
    Connection* c = Find(active_);
    pollfd pending{c ? c->fd : -1, POLLIN, 0};
    if (c && (!c->waiting.empty() || (poll(&pending, 1, 0) > 0 && (pending.revents & POLLIN)))) {
        lastData_ = now;
        return std::min(
            next, now + std::chrono::milliseconds(std::max(options_.idleMs, options_.turnPauseMs)));
    }
    if (idle) {
        EndJob();
    } else if (session_.BetweenJobs(active_)) {
        NextJob();
    } else {
        // In the middle of a job: the others wait for its cut or its end. The model may
        // still be on its way to the cut, so look again shortly.
        return std::min(next, now + kJobEndRecheck);
    }
    return Clock::time_point::max();
}

void ReceiveLoop::Accept(const Listener& listener) {
    for (;;) {
        const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            if (!listener.http && options_.connected)
                options_.connected(nextId_, fd);
            connections_.emplace_back(fd, nextId_++, listener.http);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (OutOfDescriptors(errno)) {
            // The client stays in the backlog until a descriptor is free again; said once
            // until the backlog has emptied.
            acceptRest_ = Clock::now() + kAcceptRest;
            if (!descriptorsNoted_)
                Note(std::string("no descriptor left for a new connection (") +
                     std::strerror(errno) + "); it waits");
            descriptorsNoted_ = true;
        } else if (errno == EAGAIN) {
            descriptorsNoted_ = false;
        }
        return;
    }
}

bool ReceiveLoop::ReadFrom(Connection& c) {
    if ((active_ >= 0 && c.id != active_) || !c.waiting.empty()) {
        if (c.waiting.size() >= kWaitingBuffer)
            return true;
        return ReadWaiting(c, kWaitingBuffer - c.waiting.size());
    }
    // The job's connection: straight into the printer's receive buffer.
    if (space_.empty())
        space_ = session_.ReceiveSpace();
    if (space_.empty())
        return true;
    const ssize_t n = read(c.fd, space_.data(), std::min(space_.size(), kReadSize));
    if (n > 0) {
        space_ = session_.Received(c.id, static_cast<size_t>(n));
        active_ = c.id;
        lastData_ = c.heard = Clock::now();
        return true;
    }
    if (n < 0)
        return errno == EAGAIN || errno == EINTR || c.id == 0;
    return c.id == 0;  // the terminal side is ours too; it never really ends
}

bool ReceiveLoop::ReadWaiting(Connection& c, size_t most) {
    char buffer[kWaitingBuffer];
    const ssize_t n = read(c.fd, buffer, std::min(most, sizeof buffer));
    if (n < 0)
        return errno == EAGAIN || errno == EINTR || c.id == 0;
    if (n == 0) {
        // What it sent before it ended still prints in its turn.
        c.ended = true;
        return !c.waiting.empty() || c.id == 0;
    }
    // Status requests and drawer pulses are answered now, not in its turn.
    session_.Scan(c.id, reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
    c.waiting.append(buffer, static_cast<size_t>(n));
    c.heard = Clock::now();
    if (!c.queued && c.id != active_) {
        c.queued = true;
        turns_.push_back(c.id);
    }
    return true;
}

bool ReceiveLoop::ReadRequest(Connection& c) {
    char buffer[4096];
    const ssize_t n = read(c.fd, buffer, sizeof buffer);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    if (n == 0)
        return false;
    c.request.append(buffer, static_cast<size_t>(n));
    if (RequestComplete(c.request) || c.request.size() > kMaxRequest) {
        Queue(c, WebResponse(c.request, session_, options_.pageTitle));
        c.closeWhenSent = true;
        return Flush(c);
    }
    return true;
}

void ReceiveLoop::WatchPty() {
    alignas(inotify_event) char events[4096];
    const ssize_t n = read(ptyWatch_, events, sizeof events);
    bool gone = false;
    for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        if (event->mask & IN_OPEN)
            ++ptyClients_;
        if ((event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && ptyClients_ > 0)
            gone = --ptyClients_ == 0 || gone;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    if (!gone)
        return;
    // What the last client wrote before it closed is still in the terminal and belongs to
    // it; then its connection ends, and with it an unfinished command.
    Connection& pty = connections_[0];
    for (;;) {
        const size_t before = pty.waiting.size();
        if (before >= kPtyLeftover || !ReadWaiting(pty, kPtyLeftover - before) ||
            pty.waiting.size() == before)
            break;
    }
    pty.ended = true;
    if (active_ < 0)
        NextJob();  // takes the terminal if it has something left
    if (pty.waiting.empty() && active_ != 0) {
        session_.EndConnection(0);
        pty.ended = false;
    }
}

void ReceiveLoop::ServeTurns() {
    while (active_ >= 0) {
        Connection* c = Find(active_);
        if (!c) {
            NextJob();
            continue;
        }
        while (!c->waiting.empty()) {
            if (space_.empty())
                space_ = session_.ReceiveSpace();
            if (space_.empty())
                return;
            const size_t n = std::min(space_.size(), c->waiting.size());
            std::memcpy(space_.data(), c->waiting.data(), n);
            space_ = session_.Received(c->id, n, /*scanned=*/true);
            c->waiting.erase(0, n);
            lastData_ = Clock::now();
        }
        if (!c->ended)
            return;
        Ended(*c);
        if (c->id == 0)
            c->ended = false;
        else
            Close(static_cast<size_t>(c - connections_.data()));
    }
}

bool ReceiveLoop::Flush(Connection& c) {
    while (!c.out.empty()) {
        const std::string& front = c.out.front();
        const char* data = front.data() + c.sentOfFront;
        const size_t size = front.size() - c.sentOfFront;
        const ssize_t n =
            c.id == 0 ? write(c.fd, data, size) : send(c.fd, data, size, MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR || c.id == 0;
        c.outBytes -= static_cast<size_t>(n);
        c.sentOfFront += static_cast<size_t>(n);
        if (c.sentOfFront == front.size()) {
            c.out.pop_front();
            c.sentOfFront = 0;
        }
    }
    return !c.closeWhenSent;
}

void ReceiveLoop::Queue(Connection& c, std::string bytes) {
    c.outBytes += bytes.size();
    const bool backFree = c.out.size() > 1 || (c.out.size() == 1 && c.sentOfFront == 0);
    if (backFree && c.out.back().size() + bytes.size() <= kJoinAnswers)
        c.out.back() += bytes;
    else
        c.out.push_back(std::move(bytes));
    // A client that does not read its answers: the oldest go, whole, except one already
    // partly sent.
    while (c.outBytes > kAnswerBuffer && c.out.size() > 1) {
        const auto oldest = c.out.begin() + (c.sentOfFront > 0 ? 1 : 0);
        if (c.dropped == 0)
            Note("connection " + std::to_string(c.id) +
                 " does not read its answers: the oldest are dropped");
        c.dropped += oldest->size();
        c.outBytes -= oldest->size();
        c.out.erase(oldest);
    }
}

void ReceiveLoop::DeliverAnswers() {
    for (auto& [source, bytes] : session_.TakeAnswers()) {
        Connection* c = Find(source);
        if (!c)
            continue;
        Queue(*c, std::move(bytes));
        if (!Flush(*c) && c->id != 0 && Gone(*c))
            Close(static_cast<size_t>(c - connections_.data()));
    }
}

bool ReceiveLoop::Gone(Connection& c) {
    if (c.http)
        return true;
    if (!c.waiting.empty()) {
        // It can take no answers any more, but what it sent still prints in its turn.
        c.ended = true;
        c.out.clear();
        c.outBytes = 0;
        c.sentOfFront = 0;
        return false;
    }
    Ended(c);
    return true;
}

void ReceiveLoop::Ended(Connection& c) {
    session_.EndConnection(c.id);
    if (c.dropped > 0)
        Note("connection " + std::to_string(c.id) + " ended; " + std::to_string(c.dropped) +
             " bytes of answers it did not read were dropped");
    c.dropped = 0;
    if (c.id == active_)
        EndJob();
}

void ReceiveLoop::EndJob() {
    session_.EndJob();
    NextJob();
}

void ReceiveLoop::NextJob() {
    active_ = -1;
    while (!turns_.empty()) {
        const int id = turns_.front();
        turns_.pop_front();
        if (Connection* c = Find(id)) {
            c->queued = false;
            active_ = id;
            lastData_ = Clock::now();
            return;
        }
    }
}

ReceiveLoop::Clock::time_point ReceiveLoop::DropIdle(Clock::time_point now) {
    Clock::time_point next = Clock::time_point::max();
    for (size_t k = connections_.size(); k-- > 1;) {
        Connection& c = connections_[k];
        Clock::time_point limit;
        if (c.http)
            limit = c.heard + std::chrono::milliseconds(options_.webTimeoutMs);
        else if (options_.rawIdleMs > 0 && c.id != active_ && !c.queued)
            limit = c.heard + std::chrono::milliseconds(options_.rawIdleMs);
        else
            continue;
        if (!c.http && now >= limit && session_.Holds(c.id)) {
            // Silent, but what it sent is still being printed: its answers are to come.
            c.heard = now;
            limit = now + std::chrono::milliseconds(options_.rawIdleMs);
        }
        if (now < limit) {
            next = std::min(next, limit);
            continue;
        }
        if (Gone(c))
            Close(k);
    }
    return next;
}

void ReceiveLoop::Close(size_t index) {
    close(connections_[index].fd);
    connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(index));
}

ReceiveLoop::Connection* ReceiveLoop::Find(int id) {
    for (Connection& c : connections_)
        if (c.id == id)
            return &c;
    return nullptr;
}

void ReceiveLoop::Note(const std::string& line) {
    session_.Note(line);
    if (options_.note)
        options_.note(line);
}

}  // namespace quillon
