#include "escpos/RealTimeScanner.h"

#include <cstring>

namespace quillon::escpos {

void RealTimeScanner::Scan(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (step_ == Step::kIdle) {
            // Most of a stream holds no DLE at all: jump to the next one.
            const void* dle = std::memchr(data + i, 0x10, size - i);
            if (!dle)
                return;
            i = static_cast<const uint8_t*>(dle) - data;
            step_ = Step::kDle;
            continue;
        }
        const uint8_t b = data[i];
        switch (step_) {
            case Step::kIdle:
                break;
            case Step::kDle:
                step_ = b == 0x04   ? Step::kEot
                        : b == 0x14 ? Step::kDc4
                        : b == 0x10 ? Step::kDle
                                    : Step::kIdle;
                break;
            case Step::kEot:
                if (b >= 1 && b <= 4)
                    handler_.StatusRequest(b);
                eot_ = b;
                step_ = b == 7 || b == 8 ? Step::kEotArgument
                        : b == 0x10      ? Step::kDle
                                         : Step::kIdle;
                break;
            case Step::kEotArgument:
                if ((eot_ == 7 && (b == 1 || b == 2)) || (eot_ == 8 && b == 3))
                    handler_.ArgumentStatusRequest(eot_, b);
                step_ = b == 0x10 ? Step::kDle : Step::kIdle;
                break;
            case Step::kDc4:
                step_ = b == 1 ? Step::kPulsePin : b == 0x10 ? Step::kDle : Step::kIdle;
                break;
            case Step::kPulsePin:
                pin_ = b == 1 ? 5 : 2;
                step_ = b <= 1 ? Step::kPulseTime : Step::kIdle;
                break;
            case Step::kPulseTime:
                if (b >= 1 && b <= 8)
                    handler_.DrawerPulse(pin_, b * 100);
                step_ = Step::kIdle;
                break;
        }
    }
}

}  // namespace quillon::escpos
