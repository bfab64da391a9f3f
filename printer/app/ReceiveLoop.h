#pragma once
// The receiving thread: waits with poll() on the pseudo-terminal, the raw TCP ports and the
// web page, reads every byte straight into the printer session's receive buffer and sends its
// answers back. It stops reading while that buffer is full, and ends a job after a pause.

#include <span>
#include <string>
#include <thread>
#include <vector>

#include "transport/platform/EventFd.h"

namespace quillon {

class PrinterSession;

struct Listener {
    int fd;
    bool http;  // answers a web page instead of printing
};

class ReceiveLoop {
  public:
    ReceiveLoop(PrinterSession& session, int ptyFd, std::vector<Listener> listeners, int idleMs,
                std::string pageTitle);
    ~ReceiveLoop();  // stops the thread and closes every socket it holds
    ReceiveLoop(const ReceiveLoop&) = delete;
    ReceiveLoop& operator=(const ReceiveLoop&) = delete;

    void Start();
    void Stop();

  private:
    struct Connection {
        int fd;
        int id;
        bool http;
        std::string request;
        std::string out;
        bool closeWhenSent = false;
    };

    void Run();
    void Accept(const Listener& listener);
    // Reads what `fd` has; false when the peer has gone.
    bool ReadFrom(Connection& c);
    bool Flush(Connection& c);
    void DeliverAnswers();
    std::string PageReply() const;

    PrinterSession& session_;
    std::vector<Listener> listeners_;
    std::vector<Connection> connections_;  // [0] is the pseudo-terminal
    int idleMs_;
    std::string pageTitle_;
    int nextId_ = 1;
    std::span<uint8_t> space_;  // free space in the printer's receive buffer, known so far
    EventFd stop_;
    std::thread thread_;
};

}  // namespace quillon
