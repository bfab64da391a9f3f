#pragma once
// The bytes a printer speaks: the window shows Unicode, the printer takes and sends text in a
// narrow code page, GB18030 with the Chinese interface and windows-1252 otherwise.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "framework/Language.h"

namespace quillon {

// The iconv name of the code page printers are spoken to in with this interface language.
const char* NarrowCodePage(Language language);

// Encodes text to the narrow code page; nothing when a character has no place in it (the
// caller says so instead of sending a substitute).
std::optional<QByteArray> ToNarrowBytes(const QString& text, Language language);

// The first character of text that the narrow code page has no place for, so that a refusal
// can name it; empty when every character has a place.
QString FirstUnencodable(const QString& text, Language language);

// Turns the bytes a printer sends into characters, one byte at a time. A character of
// several bytes (GB18030 has two- and four-byte ones) comes out once its last byte has
// arrived; bytes that make no character in the code page come out as U+FFFD, one for each
// byte that cannot start or continue a character.
class NarrowDecoder {
  public:
    explicit NarrowDecoder(Language language);
    ~NarrowDecoder();
    NarrowDecoder(const NarrowDecoder&) = delete;
    NarrowDecoder& operator=(const NarrowDecoder&) = delete;

    // Feeds one byte; sink(char16_t) receives the UTF-16 code units it completes.
    template <class Emit>
    void Feed(std::uint8_t byte, Emit&& sink) {
        if (byte < 0x80 && pending_ == 0) {
            sink(static_cast<char16_t>(byte));
            return;
        }
        char16_t out[kMaxUnits];
        const int n = FeedSlow(byte, out);
        for (int i = 0; i < n; ++i)
            sink(out[i]);
    }
    // Forgets an incomplete character.
    void Reset() { pending_ = 0; }
    // True while the bytes fed so far end inside a character.
    bool Incomplete() const { return pending_ != 0; }

  private:
    static constexpr int kMaxUnits = 16;
    int FeedSlow(std::uint8_t byte, char16_t* out);
    void FeedInto(std::uint8_t byte, char16_t* out, int* n);
    // Appends the decoding of one whole character's bytes (U+FFFD when it has none).
    void Convert(const std::uint8_t* bytes, int count, char16_t* out, int* n);

    bool multiByte_;
    void* converter_;           // iconv_t from the code page to UTF-32LE
    char16_t singleByte_[128];  // bytes 0x80 to 0xFF of a single-byte code page
    std::uint8_t bytes_[4] = {};
    int pending_ = 0;
};

}  // namespace quillon
