#include "app/FileSendJob.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

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
    inFlight_ = 0;
    readError_ = 0;
    pieceSize_ = kFirstPiece;
    lastReport_ = now;
}

void FileSendJob::Start(QByteArray bytes, Clock::time_point now) {
    Stop();
    bytes_ = std::move(bytes);
    Begin(bytes_.size(), now);
}

void FileSendJob::StartFile(int fd, qint64 size, Clock::time_point now) {
    Stop();
    fd_ = fd;
    Begin(static_cast<qsizetype>(size), now);
}

void FileSendJob::Stop() {
    active_ = false;
    inFlight_ = 0;
    bytes_ = QByteArray();
    buffer_ = QByteArray();
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool FileSendJob::ReadPiece(qsizetype length) {
    buffer_.resize(length);
    qsizetype got = 0;
    while (got < length) {
        const ssize_t n = pread(fd_, buffer_.data() + got, static_cast<std::size_t>(length - got),
                                static_cast<off_t>(handedOver_ + got));
        if (n > 0) {
            got += n;
        } else if (n == 0) {
            break;  // the file became shorter: what there is now is the whole of it
        } else if (errno != EINTR) {
            readError_ = errno;
            return false;
        }
    }
    buffer_.resize(got);
    if (got < length)
        total_ = handedOver_ + got;
    return true;
}

std::optional<QByteArrayView> FileSendJob::NextPiece() {
    if (!active_ || readError_ || inFlight_ >= kPiecesInFlight || handedOver_ >= total_)
        return std::nullopt;
    const qsizetype length = std::min(pieceSize_, total_ - handedOver_);
    QByteArrayView piece;
    if (fd_ >= 0) {
        if (!ReadPiece(length) || buffer_.isEmpty())
            return std::nullopt;
        piece = QByteArrayView(buffer_);
    } else {
        piece = QByteArrayView(bytes_.constData() + handedOver_, length);
    }
    handedOver_ += piece.size();
    ++inFlight_;
    return piece;
}

bool FileSendJob::Written(qsizetype count, Clock::time_point now) {
    if (!active_)
        return false;
    written_ += count;
    inFlight_ = std::max(0, inFlight_ - 1);
    const double seconds = std::chrono::duration<double>(now - lastReport_).count();
    lastReport_ = now;
    if (seconds > 0) {
        const double perSecond = static_cast<double>(count) / seconds;
        pieceSize_ = std::clamp(static_cast<qsizetype>(perSecond * kPieceSeconds), kFirstPiece,
                                kLargestPiece);
    }
    if (written_ < total_)
        return false;
    Stop();
    return true;
}

}  // namespace quillon
