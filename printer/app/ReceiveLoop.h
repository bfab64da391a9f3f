#pragma once
// The receiving thread: waits with poll() on the pseudo-terminal, the raw TCP ports and the
// web page, reads the bytes of the job being printed straight into the printer session's
// receive buffer and sends its answers back.
//
// The printer serves one job at a time, as a printer does. A job belongs to the connection
// that sent first; it ends at a cut, or when that connection closes (for the pseudo-terminal:
// when its last client closes it), or, only when asked for, after a pause. A pause inside a
// receipt (a client waiting a second for a status answer) never splits it. A connection that
// pauses between jobs, all it sent printed and cut, gives its turn to the next one waiting.
// Meanwhile every other connection
// waits: it is read only into a small buffer of its own, where its real-time requests (status
// requests, drawer pulses) are answered at once, and once that buffer is full it is not read
// at all until its turn comes, in the order the connections began to send.
//
// Answers a client does not read are held only up to a bound; past it the oldest go. Web
// clients are dropped after a few seconds and raw clients after a long silence; when the
// process runs out of descriptors the listening sockets rest for a moment instead of
// waking the loop at once again.

#include <chrono>
#include <deque>
#include <functional>
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

struct ReceiveOptions {
    int idleMs = 0;           // a pause this long ends a job; 0: only a cut or a close does
    int turnPauseMs = 500;    // a pause between jobs this long gives the turn to the next one
    int webTimeoutMs = 5000;  // a web client is dropped this long after it connected
    int rawIdleMs = 300000;   // a raw client silent this long is dropped; 0: never
    std::string pageTitle;    // of the web page
    // Told what the owner should know: answers dropped, descriptors running out.
    std::function<void(const std::string&)> note;
    // Told of each raw TCP client as it connects: its connection number and socket.
    std::function<void(int id, int fd)> connected;
};

class ReceiveLoop {
  public:
    // A waiting connection's bytes read ahead of its turn, scanned for real-time requests.
    static constexpr size_t kWaitingBuffer = 64 * 1024;
    // Answers held for a connection that does not read them.
    static constexpr size_t kAnswerBuffer = 64 * 1024;

    // ptyPath: the terminal side that clients open, watched for their coming and going.
    ReceiveLoop(PrinterSession& session, int ptyFd, const std::string& ptyPath,
                std::vector<Listener> listeners, ReceiveOptions options);
    ~ReceiveLoop();  // stops the thread and closes every socket it holds
    ReceiveLoop(const ReceiveLoop&) = delete;
    ReceiveLoop& operator=(const ReceiveLoop&) = delete;

    void Start();
    void Stop();

  private:
    using Clock = std::chrono::steady_clock;

    struct Connection {
        Connection(int fd, int id, bool http) : fd(fd), id(id), http(http), heard(Clock::now()) {}
        int fd;
        int id;  // 0: the pseudo-terminal
        bool http;
        Clock::time_point heard;      // when it last sent something, or connected
        std::string request;          // web page: the request so far
        std::deque<std::string> out;  // answers not yet sent, whole answers each
        size_t outBytes = 0;
        size_t sentOfFront = 0;          // of out.front()
        unsigned long long dropped = 0;  // answer bytes dropped unread
        bool closeWhenSent = false;
        std::string waiting;  // read ahead of its turn, already scanned
        bool queued = false;  // in turns_
        bool ended = false;   // the peer has sent its last byte; it ends once that is printed
    };

    void Run();
    // Every connection a listener has ready, until it has no more or descriptors run out.
    void Accept(const Listener& listener);
    // Reads what `c` has; false when it has ended and may go.
    bool ReadFrom(Connection& c);
    bool ReadWaiting(Connection& c, size_t most);
    bool ReadRequest(Connection& c);
    // The terminal's clients opened and closed it; the last one gone ends its connection.
    void WatchPty();
    // Moves what the active connection read while it waited into the printer, as far as
    // there is room, and ends it once it has ended and all is moved.
    void ServeTurns();
    bool Flush(Connection& c);
    void DeliverAnswers();
    void Queue(Connection& c, std::string bytes);
    // A connection that can no longer be read or answered: true when it may be closed now,
    // false when what it sent still waits for its turn.
    bool Gone(Connection& c);
    // A raw connection ends: its unfinished command and its job end with it.
    void Ended(Connection& c);
    void EndJob();
    // Gives the printer to the next connection that waits with something to print.
    void NextJob();
    // Drops web clients and silent raw clients whose time is up; the next deadline.
    // Ends the job or gives the turn on when the job's connection has paused long enough;
    // when to look again.
    Clock::time_point EndPause(Clock::time_point now);
    Clock::time_point DropIdle(Clock::time_point now);
    void Close(size_t index);
    Connection* Find(int id);
    std::string PageReply() const;
    void Note(const std::string& line);

    PrinterSession& session_;
    std::vector<Listener> listeners_;
    std::vector<Connection> connections_;  // [0] is the pseudo-terminal
    ReceiveOptions options_;
    int ptyWatch_ = -1;   // inotify on the terminal side: its clients opening and closing
    int ptyClients_ = 0;  // open handles of the terminal side other than the printer's own
    int nextId_ = 1;
    int active_ = -1;               // the connection whose job is being printed; -1: none
    Clock::time_point lastData_;    // when the active connection last sent something
    std::deque<int> turns_;         // connections waiting with something to print, in order
    Clock::time_point acceptRest_;  // listeners rest until then after running out
    bool descriptorsNoted_ = false;
    std::span<uint8_t> space_;  // free space in the printer's receive buffer, known so far
    EventFd stop_;
    std::thread thread_;
};

}  // namespace quillon
