#include "escpos/Tokenizer.h"

#include <algorithm>

#include "escpos/CommandTable.h"

namespace quillon::escpos {

void Tokenizer::Emit(TokenKind kind, const uint8_t* data, size_t size, uint64_t declared) {
    sink_.OnToken(Token{kind, data, size, declared});
}

void Tokenizer::FinishCommand() {
    inCommand_ = false;
    Emit(TokenKind::kCommand, command_.data(), command_.size(), total_);
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
            continue;
        }
        if (total_ == 0) {
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
            if (m.kind == Measure::kNeedMore && m.value > command_.size() && m.value <= kMaxKept) {
                need_ = m.value;
                continue;
            }
            total_ = std::max<uint64_t>(m.kind == Measure::kLength ? m.value : 0, command_.size());
        }
        const uint64_t remaining = total_ - command_.size() - skipped_;
        const uint64_t take = std::min<uint64_t>(remaining, size - i);
        const uint64_t room = kMaxKept > command_.size() ? kMaxKept - command_.size() : 0;
        const uint64_t keep = std::min(take, room);
        command_.insert(command_.end(), data + i, data + i + keep);
        skipped_ += take - keep;
        i += take;
        if (command_.size() + skipped_ == total_)
            FinishCommand();
    }
}

}  // namespace quillon::escpos
