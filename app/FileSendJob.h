#pragma once
// A whole file on its way to the port, handed over in pieces so that the window can show how
// much has been written while the rest is still going. Piece sizes follow the port's pace:
// about a fifth of a second of writing each, so a slow serial line still shows progress and
// a fast device gets large pieces; two pieces are in flight so the writer never waits. A
// regular file is read piece by piece as the port takes it, never held whole.

#include <QByteArray>
#include <QByteArrayView>
#include <chrono>
#include <optional>

namespace quillon {

class FileSendJob {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr qsizetype kFirstPiece = 4 << 10;
    static constexpr qsizetype kLargestPiece = 8 << 20;
    static constexpr int kPiecesInFlight = 2;

    FileSendJob() = default;
    ~FileSendJob();
    FileSendJob(const FileSendJob&) = delete;
    FileSendJob& operator=(const FileSendJob&) = delete;

    // Sends bytes already in memory.
    void Start(QByteArray bytes, Clock::time_point now = Clock::now());
    // Sends `size` bytes read from fd as they are needed; the job closes fd.
    void StartFile(int fd, qint64 size, Clock::time_point now = Clock::now());
    void Stop();
    bool active() const { return active_; }

    // The next piece to hand over, or nothing while enough is in flight, all is handed over,
    // or the file could not be read (readError() then says why). Valid until the next call.
    std::optional<QByteArrayView> NextPiece();
    // The port wrote `count` bytes of the oldest piece in flight. True once the whole file is
    // written.
    bool Written(qsizetype count, Clock::time_point now = Clock::now());

    qsizetype written() const { return written_; }
    qsizetype total() const { return total_; }
    int readError() const { return readError_; }

  private:
    void Begin(qsizetype total, Clock::time_point now);
    // Reads the next `length` bytes of the file into buffer_; false on a read error.
    bool ReadPiece(qsizetype length);

    QByteArray bytes_;  // the whole content, when it is held in memory
    int fd_ = -1;       // the file, when it is read as it goes
    QByteArray buffer_;
    bool active_ = false;
    qsizetype total_ = 0;
    qsizetype handedOver_ = 0;
    qsizetype written_ = 0;
    int inFlight_ = 0;
    int readError_ = 0;
    qsizetype pieceSize_ = kFirstPiece;
    Clock::time_point lastReport_;
};

}  // namespace quillon
