#include "escpos/Tokenizer.h"

#include <algorithm>

namespace quillon::escpos {

void Tokenizer::Emit(TokenKind kind, const uint8_t* data, size_t size, uint64_t declared) {
    sink_.OnToken(Token{kind, data, size, declared});
}

void Tokenizer::FinishCommand() {
    inCommand_ = false;
    Emit(TokenKind::kCommand, command_.data(), command_.size(), total_);
}

size_t Tokenizer::Take(const uint8_t* data, uint64_t count) {
    const uint64_t room = kMaxKept > command_.size() ? kMaxKept - command_.size() : 0;
    const uint64_t keep = std::min(count, room);
    command_.insert(command_.end(), data, data + keep);
    skipped_ += count - keep;
    return static_cast<size_t>(count);
}

bool Tokenizer::MeasureFarBlocks(const uint8_t* data, size_t size, size_t& i) {
    while (i < size) {
        const uint64_t at = command_.size() + skipped_;
        if (at < far_.from) {
            i += Take(data + i, std::min<uint64_t>(far_.from - at, size - i));
            continue;
        }
        const size_t headerSize = static_cast<size_t>(far_.value - far_.from);
        const size_t part = std::min(headerSize - header_.size(), size - i);
        header_.insert(header_.end(), data + i, data + i + part);
        i += Take(data + i, part);
        if (header_.size() < headerSize)
            return false;
        const Measure next = MeasureNextBlock(command_.data(), far_, header_.data());
        header_.clear();
        if (next.kind == Measure::kNeedMore) {
            far_ = next;
            continue;
        }
        far_ = {};
        total_ = next.value;
        return true;
    }
    return false;
}

void Tokenizer::Feed(const uint8_t* data, size_t size) {
    size_t i = 0;
    while (i < size) {
        if (!inCommand_) {
            size_t end = i;
            while (end < size && data[end] >= 0x20)
                ++end;
            if (end > i) {
                Emit(TokenKind::kText, data + i, end - i, end - i);
                i = end;
                continue;
            }
            if (!IsCommandPrefix(data[i])) {
                Emit(TokenKind::kControl, data + i, 1, 1);
                ++i;
                continue;
            }
            inCommand_ = true;
            command_.assign(1, data[i++]);
            need_ = 2;
            total_ = 0;
            skipped_ = 0;
            far_ = {};
            continue;
        }
        if (total_ == 0 && far_.blocksLeft > 0) {
            if (!MeasureFarBlocks(data, size, i))
                return;
        } else if (total_ == 0) {
            while (i < size && command_.size() < need_)
                command_.push_back(data[i++]);
            if (command_.size() < need_)
                return;
            const Measure m = MeasureCommand(command_.data(), command_.size());
            if (m.kind == Measure::kUnknown) {
                // Bytes of the current piece that were gathered but are not part of the
                // marker are looked at again as the start of what follows.
                const size_t keep = std::min<size_t>(m.value, command_.size());
                i -= command_.size() - keep;
                inCommand_ = false;
                Emit(TokenKind::kUnknown, command_.data(), keep, keep);
                continue;
            }
            if (m.kind == Measure::kNeedMore && m.value > command_.size()) {
                if (m.value <= kMaxKept) {
                    need_ = m.value;
                    continue;
                }
                if (m.blocksLeft > 0) {
                    // The next block's header lies past what is kept: it is read as it comes
                    // (its start may be here already).
                    far_ = m;
                    header_.assign(command_.begin() + std::min<uint64_t>(m.from, command_.size()),
                                   command_.end());
                    continue;
                }
            }
            total_ = std::max<uint64_t>(m.kind == Measure::kLength ? m.value : 0, command_.size());
        }
        const uint64_t remaining = total_ - command_.size() - skipped_;
        i += Take(data + i, std::min<uint64_t>(remaining, size - i));
        if (command_.size() + skipped_ == total_)
            FinishCommand();
    }
}

}  // namespace quillon::escpos
