#pragma once
// How the character view shows received bytes: decoded from the printer's code page, each
// of CR LF, a lone CR and a lone LF ending a line, and every other control byte drawn as
// its visible symbol (byte 0 as U+2400 "␀", ESC as "␛", DEL as "␡"), so that nothing the
// printer sent is invisible. The same bytes always give the same text, however they are
// split into runs.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/NarrowText.h"

namespace quillon {

class ReceivedCharacters {
  public:
    explicit ReceivedCharacters(Language language) : decoder_(language) {}

    // A character of each kind this reading can show in the interface language: the letters
    // and signs of its code page (for GB18030, those of its two-byte part), U+FFFD and the
    // control symbols.
    static const char16_t* Sample(Language language) {
        return language == Language::Chinese ? u"A中。，ＡあァㄅαЖā─①←∈■★○\uFFFD\u2400"
                                             : u"Aé€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ\uFFFD\u2400";
    }

    // Feeds a run of bytes; sink(char16_t) receives what they complete, '\n' for a line end.
    template <class Emit>
    void Feed(const std::uint8_t* bytes, std::size_t count, Emit&& sink) {
        // A piece at a time, so that the room kept for the decoded units stays small.
        for (std::size_t at = 0; at < count; at += kPiece) {
            units_.clear();
            decoder_.Decode(bytes + at, std::min(kPiece, count - at), units_);
            for (const char16_t unit : units_)
                Show(unit, sink);
        }
    }
    // Starts again as if nothing had been received.
    void Reset() {
        decoder_.Reset();
        afterCr_ = false;
    }

  private:
    static constexpr std::size_t kPiece = 65536;

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
    std::u16string units_;  // the last run decoded, kept for its room
};

}  // namespace quillon
