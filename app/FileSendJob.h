#pragma once
// A whole file on its way to the port, handed over in pieces so that the window can show how
// much has been written while the rest is still going. Piece sizes follow the port's pace:
// about a fifth of a second of writing each, so a slow serial line still shows progress and
// a fast device gets large pieces; two pieces are in flight so the writer never waits.

#include <QByteArray>
#include <QByteArrayView>
#include <chrono>
#include <optional>

class FileSendJob {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr qsizetype kFirstPiece = 4 << 10;
    static constexpr qsizetype kLargestPiece = 8 << 20;
    static constexpr int kPiecesInFlight = 2;

    void Start(QByteArray bytes, Clock::time_point now = Clock::now());
    void Stop();
    bool active() const { return active_; }

    // The next piece to hand over, or nothing while enough is in flight or all is handed over.
    std::optional<QByteArrayView> NextPiece();
    // The port wrote `count` bytes of the oldest piece in flight. True once the whole file is
    // written.
    bool Written(qsizetype count, Clock::time_point now = Clock::now());

    qsizetype written() const { return written_; }
    qsizetype total() const { return bytes_.size(); }

  private:
    QByteArray bytes_;
    bool active_ = false;
    qsizetype handedOver_ = 0;
    qsizetype written_ = 0;
    int inFlight_ = 0;
    qsizetype pieceSize_ = kFirstPiece;
    Clock::time_point lastReport_;
};
