#pragma once

// A manual-reset event on an eventfd, so that it can sit in a poll() set beside the port.

namespace quillon {

class EventFd {
  public:
    EventFd();
    ~EventFd();
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Stays signalled until Reset.
    void Signal();
    void Reset();
    bool IsSignalled() const;

  private:
    int fd_;
};

}  // namespace quillon
