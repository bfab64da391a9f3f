#include "tests/support/FakeTtyLayer.h"

namespace quillon {

bool FakeTtyLayer::IsTerminal(int fd) {
    return RealTtyLayer()->IsTerminal(fd);
}

bool FakeTtyLayer::Apply(int fd, const SerialLineSettings& settings) {
    {
        std::lock_guard lock(lock_);
        applied_.push_back(settings);
    }
    return RealTtyLayer()->Apply(fd, settings);
}

bool FakeTtyLayer::SetLines(int, bool dtr, bool rts) {
    std::lock_guard lock(lock_);
    dtr_ = dtr ? 1 : 0;
    rts_ = rts ? 1 : 0;
    return true;
}

LineSupport FakeTtyLayer::GetLines(int, int* bits) {
    std::lock_guard lock(lock_);
    ++getLinesCalls_;
    *bits = 0;
    if (support_ != LineSupport::kOk)
        return support_;
    *bits = inputLines_ | (dtr_ == 1 ? kLineDtr : 0) | (rts_ == 1 ? kLineRts : 0);
    return LineSupport::kOk;
}

bool FakeTtyLayer::Flush(int fd, TtyQueue queue) {
    {
        std::lock_guard lock(lock_);
        flushes_.push_back(queue);
    }
    return RealTtyLayer()->Flush(fd, queue);
}

void FakeTtyLayer::SetInputLines(int bits) {
    std::lock_guard lock(lock_);
    inputLines_ = bits;
}

void FakeTtyLayer::SetLineSupport(LineSupport support) {
    std::lock_guard lock(lock_);
    support_ = support;
}

std::vector<SerialLineSettings> FakeTtyLayer::Applied() const {
    std::lock_guard lock(lock_);
    return applied_;
}

int FakeTtyLayer::dtr() const {
    std::lock_guard lock(lock_);
    return dtr_;
}

int FakeTtyLayer::rts() const {
    std::lock_guard lock(lock_);
    return rts_;
}

int FakeTtyLayer::GetLinesCalls() const {
    std::lock_guard lock(lock_);
    return getLinesCalls_;
}

std::vector<TtyQueue> FakeTtyLayer::Flushes() const {
    std::lock_guard lock(lock_);
    return flushes_;
}

}  // namespace quillon
