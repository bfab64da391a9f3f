#include "printer/app/ReceiveLoop.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "printer/app/PrinterSession.h"

namespace quillon {

namespace {
constexpr size_t kReadSize = 1024 * 1024;  // the most read at once into the printer
constexpr size_t kMaxRequest = 8 * 1024;
}  // namespace

ReceiveLoop::ReceiveLoop(PrinterSession& session, int ptyFd, std::vector<Listener> listeners,
                         int idleMs, std::string pageTitle)
    : session_(session),
      listeners_(std::move(listeners)),
      idleMs_(idleMs),
      pageTitle_(std::move(pageTitle)) {
    connections_.push_back(Connection{ptyFd, 0, false, {}, {}});
}

ReceiveLoop::~ReceiveLoop() {
    Stop();
    for (size_t i = 1; i < connections_.size(); ++i)
        close(connections_[i].fd);
    for (const Listener& l : listeners_)
        close(l.fd);
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
    bool jobOpen = false;
    for (;;) {
        const bool backlogged = session_.Backlogged();
        fds.clear();
        fds.push_back({stop_.fd(), POLLIN, 0});
        fds.push_back({session_.answersReadyFd(), POLLIN, 0});
        for (const Listener& l : listeners_)
            fds.push_back({l.fd, POLLIN, 0});
        for (const Connection& c : connections_) {
            short events = backlogged && !c.http ? 0 : POLLIN;
            if (!c.out.empty())
                events |= POLLOUT;
            // A full buffer leaves a connection out of the poll entirely, so that a peer
            // that hangs up meanwhile cannot keep waking the loop.
            fds.push_back({events == 0 ? -1 : c.fd, events, 0});
        }
        const int ready = poll(fds.data(), fds.size(), jobOpen ? idleMs_ : -1);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (ready == 0) {
            session_.EndJob();
            jobOpen = false;
            continue;
        }
        if (fds[1].revents) {
            session_.ClearAnswersReady();
            DeliverAnswers();
        }
        for (size_t i = 0; i < listeners_.size(); ++i)
            if (fds[2 + i].revents & POLLIN)
                Accept(listeners_[i]);
        const size_t first = 2 + listeners_.size();
        // Walk backwards so that closing a connection does not shift the ones still to see.
        for (size_t k = connections_.size(); k-- > 0;) {
            if (first + k >= fds.size())
                continue;  // accepted during this round
            const short revents = fds[first + k].revents;
            Connection& c = connections_[k];
            bool alive = true;
            if (revents & (POLLIN | POLLHUP | POLLERR)) {
                alive = ReadFrom(c);
                if (!c.http)
                    jobOpen = true;
            }
            if (alive && (revents & POLLOUT))
                alive = Flush(c);
            if (!alive && k > 0) {
                close(c.fd);
                connections_.erase(connections_.begin() + k);
            }
        }
        DeliverAnswers();
    }
}

void ReceiveLoop::Accept(const Listener& listener) {
    const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    connections_.push_back(Connection{fd, nextId_++, listener.http, {}, {}});
}

bool ReceiveLoop::ReadFrom(Connection& c) {
    if (!c.http) {
        // Straight into the printer's receive buffer.
        if (space_.empty())
            space_ = session_.ReceiveSpace();
        if (space_.empty())
            return true;
        const ssize_t n = read(c.fd, space_.data(), std::min(space_.size(), kReadSize));
        if (n > 0)
            space_ = session_.Received(c.id, static_cast<size_t>(n));
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        return n > 0 || c.id == 0;  // the terminal side is ours too; it never really ends
    }
    char buffer[4096];
    const ssize_t n = read(c.fd, buffer, sizeof buffer);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    if (n == 0)
        return false;
    c.request.append(buffer, static_cast<size_t>(n));
    if (c.request.find("\r\n\r\n") != std::string::npos || c.request.size() > kMaxRequest) {
        c.out = PageReply();
        c.closeWhenSent = true;
        return Flush(c);
    }
    return true;
}

bool ReceiveLoop::Flush(Connection& c) {
    while (!c.out.empty()) {
        const ssize_t n = c.id == 0 ? write(c.fd, c.out.data(), c.out.size())
                                    : send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        c.out.erase(0, static_cast<size_t>(n));
    }
    return !c.closeWhenSent;
}

void ReceiveLoop::DeliverAnswers() {
    for (auto& [source, bytes] : session_.TakeAnswers())
        for (size_t k = 0; k < connections_.size(); ++k)
            if (connections_[k].id == source) {
                connections_[k].out += bytes;
                if (!Flush(connections_[k]) && k > 0) {
                    close(connections_[k].fd);
                    connections_.erase(connections_.begin() + k);
                }
                break;
            }
}

std::string ReceiveLoop::PageReply() const {
    const std::string body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" +
                             pageTitle_ + "</title></head><body><h1>" + pageTitle_ +
                             "</h1><p>Raw printing on ports 9100 and 4000.</p></body></html>\n";
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace quillon
