#pragma once
// How the character view shows received bytes: decoded from the printer's code page, each
// of CR LF, a lone CR and a lone LF ending a line, and every other control byte drawn as
// its visible symbol (byte 0 as U+2400 "␀", ESC as "␛", DEL as "␡"), so that nothing the
// printer sent is invisible. The same bytes always give the same text, whether they come
// one at a time or all at once.

#include <cstdint>

#include "framework/NarrowText.h"

namespace quillon {

class ReceivedCharacters {
  public:
    explicit ReceivedCharacters(Language language) : decoder_(language) {}

    // Feeds one byte; sink(char16_t) receives what it completes, '\n' for a line end.
    template <class Emit>
    void Feed(std::uint8_t byte, Emit&& sink) {
        decoder_.Feed(byte, [&](char16_t unit) { Show(unit, sink); });
    }
    // Starts again as if nothing had been received.
    void Reset() {
        decoder_.Reset();
        afterCr_ = false;
    }

  private:
    template <class Emit>
    void Show(char16_t unit, Emit& sink) {
        if (afterCr_) {
            // A CR waits for what follows: with a LF it makes one line end.
            afterCr_ = false;
            sink(u'\n');
            if (unit == u'\n')
                return;
        }
        if (unit >= 0x20 && unit != 0x7F) {
            sink(unit);
        } else if (unit == u'\r') {
            afterCr_ = true;
        } else if (unit == u'\n') {
            sink(u'\n');
        } else {
            sink(unit == 0x7F ? char16_t{0x2421} : static_cast<char16_t>(0x2400 + unit));
        }
    }

    NarrowDecoder decoder_;
    bool afterCr_ = false;
};

}  // namespace quillon
