#pragma once
// A whole file on its way to the port, handed over in pieces so that the window can show how
// much has been written while the rest is still going. Piece sizes follow the port's pace:
// about a fifth of a second of writing each, so a slow serial line still shows progress and
// a fast device gets large pieces; two pieces are in flight so the writer never waits. A
// regular file goes to the port as ranges of the open file, which the writer takes from the
// file itself; the window never reads it.

#include <QByteArray>
#include <QByteArrayView>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

#include "transport/platform/FdIo.h"

namespace quillon {

// One piece to hand over: bytes held in memory, or `length` bytes of the open file from
// `offset`.
struct FileSendPiece {
    QByteArrayView bytes;
    std::shared_ptr<const SharedFile> file;
    qint64 offset = 0;
    qsizetype length = 0;
};

class FileSendJob {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr qsizetype kFirstPiece = 4 << 10;
    // The largest piece held in memory. A range of the file that the port sends straight
    // from the file costs no memory, so a fast port may get larger ones.
    static constexpr qsizetype kLargestPiece = 8 << 20;
    static constexpr qsizetype kLargestFileRange = 64 << 20;
    static constexpr int kPiecesInFlight = 2;

    // Where the send stands after the port reported a piece.
    enum class Progress {
        kGoing,
        kDone,        // all of the file is written (it may have become shorter on the way)
        kStopped,     // the port took less than the piece: the rest cannot go
        kReadFailed,  // the file could not be read any further; readError() says why
    };

    FileSendJob() = default;
    ~FileSendJob();
    FileSendJob(const FileSendJob&) = delete;
    FileSendJob& operator=(const FileSendJob&) = delete;

    // Sends bytes already in memory.
    void Start(QByteArray bytes, Clock::time_point now = Clock::now());
    // Sends `size` bytes of the file open as fd, in ranges of at most largestPiece; the job
    // owns fd, and the pieces in flight keep it open until the port is done with them.
    void StartFile(int fd, qint64 size, qsizetype largestPiece = kLargestFileRange,
                   Clock::time_point now = Clock::now());
    void Stop();
    bool active() const { return active_; }

    // The next piece to hand over, or nothing while enough is in flight or all is handed
    // over. Bytes stay valid until the next call.
    std::optional<FileSendPiece> NextPiece();
    // The port wrote `count` bytes of the oldest piece in flight. A file piece that comes
    // back short has met the file's end (the file became shorter under the send, and what
    // is left is the whole of it), a part of the file that cannot be read, or a port that
    // took no more.
    Progress Written(qsizetype count, Clock::time_point now = Clock::now());

    qsizetype written() const { return written_; }
    qsizetype total() const { return total_; }
    int readError() const { return readError_; }

  private:
    struct InFlight {
        qsizetype offset;
        qsizetype length;
    };

    void Begin(qsizetype total, Clock::time_point now);
    // Why a piece of the file came back short.
    Progress ShortFilePiece(const InFlight& piece, qsizetype count);

    QByteArray bytes_;                        // the whole content, when it is held in memory
    std::shared_ptr<const SharedFile> file_;  // the file, when the port takes it from there
    bool active_ = false;
    qsizetype total_ = 0;
    qsizetype handedOver_ = 0;
    qsizetype written_ = 0;
    std::deque<InFlight> inFlight_;
    int readError_ = 0;
    qsizetype pieceSize_ = kFirstPiece;
    qsizetype largestPiece_ = kLargestPiece;
    Clock::time_point lastReport_;
};

}  // namespace quillon
