#include "app/FileSendJob.h"

#include <algorithm>

namespace {

// How long one piece should take to write.
constexpr double kPieceSeconds = 0.2;

}  // namespace

void FileSendJob::Start(QByteArray bytes, Clock::time_point now) {
    bytes_ = std::move(bytes);
    active_ = !bytes_.isEmpty();
    handedOver_ = 0;
    written_ = 0;
    inFlight_ = 0;
    pieceSize_ = kFirstPiece;
    lastReport_ = now;
}

void FileSendJob::Stop() {
    active_ = false;
    inFlight_ = 0;
    bytes_.clear();
    bytes_.squeeze();
}

std::optional<QByteArrayView> FileSendJob::NextPiece() {
    if (!active_ || inFlight_ >= kPiecesInFlight || handedOver_ >= bytes_.size())
        return std::nullopt;
    const qsizetype length = std::min(pieceSize_, bytes_.size() - handedOver_);
    const QByteArrayView piece(bytes_.constData() + handedOver_, length);
    handedOver_ += length;
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
    if (written_ < bytes_.size())
        return false;
    Stop();
    return true;
}
