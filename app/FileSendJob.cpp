#include "app/FileSendJob.h"

#include <algorithm>
#include <cerrno>

#include "transport/platform/FdIo.h"

namespace quillon {

namespace {

// How long one piece should take to write.
constexpr double kPieceSeconds = 0.2;

}  // namespace

FileSendJob::~FileSendJob() {
    Stop();
}

void FileSendJob::Begin(qsizetype total, Clock::time_point now) {
    total_ = total;
    active_ = total > 0;
    handedOver_ = 0;
    written_ = 0;
    inFlight_.clear();
    readError_ = 0;
    pieceSize_ = kFirstPiece;
    lastReport_ = now;
}

void FileSendJob::Start(QByteArray bytes, Clock::time_point now) {
    Stop();
    bytes_ = std::move(bytes);
    largestPiece_ = kLargestPiece;
    Begin(bytes_.size(), now);
}

void FileSendJob::StartFile(int fd, qint64 size, qsizetype largestPiece, Clock::time_point now) {
    Stop();
    file_ = std::make_shared<const SharedFile>(fd);
    largestPiece_ = std::max(largestPiece, kFirstPiece);
    Begin(static_cast<qsizetype>(size), now);
}

void FileSendJob::Stop() {
    active_ = false;
    inFlight_.clear();
    bytes_ = QByteArray();
    // Pieces still queued at the port keep the file open until the port lets them go.
    file_.reset();
}

std::optional<FileSendPiece> FileSendJob::NextPiece() {
    if (!active_ || std::ssize(inFlight_) >= kPiecesInFlight || handedOver_ >= total_)
        return std::nullopt;
    FileSendPiece piece;
    piece.length = std::min(pieceSize_, total_ - handedOver_);
    if (file_) {
        piece.file = file_;
        piece.offset = handedOver_;
    } else {
        piece.bytes = QByteArrayView(bytes_.constData() + handedOver_, piece.length);
    }
    inFlight_.push_back({handedOver_, piece.length});
    handedOver_ += piece.length;
    return piece;
}

FileSendJob::Progress FileSendJob::ShortFilePiece(const InFlight& piece, qsizetype count) {
    // One byte where the piece stopped tells whether the file goes on from there.
    const qsizetype end = piece.offset + count;
    char probe;
    const ssize_t n = ReadAt(file_->fd(), &probe, 1, end);
    if (n < 0) {
        readError_ = errno;
        return Progress::kReadFailed;
    }
    if (n > 0)
        return Progress::kStopped;
    // The file has become shorter and ends here: what is written is the whole of it.
    total_ = std::min(total_, end);
    return Progress::kGoing;
}

FileSendJob::Progress FileSendJob::Written(qsizetype count, Clock::time_point now) {
    if (!active_)
        return Progress::kGoing;
    written_ += count;
    InFlight piece{written_ - count, count};
    if (!inFlight_.empty()) {
        piece = inFlight_.front();
        inFlight_.pop_front();
    }
    const double seconds = std::chrono::duration<double>(now - lastReport_).count();
    lastReport_ = now;
    if (seconds > 0) {
        const double perSecond = static_cast<double>(count) / seconds;
        pieceSize_ = std::clamp(static_cast<qsizetype>(perSecond * kPieceSeconds), kFirstPiece,
                                largestPiece_);
    }
    if (count < piece.length) {
        const Progress progress = file_ ? ShortFilePiece(piece, count) : Progress::kStopped;
        if (progress != Progress::kGoing)
            return progress;
    }
    // Pieces handed over past a new end of the file still come back, with nothing written.
    if (written_ < total_ || !inFlight_.empty())
        return Progress::kGoing;
    Stop();
    return Progress::kDone;
}

}  // namespace quillon
