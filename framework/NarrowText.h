#pragma once
// The bytes a printer speaks: the window shows Unicode, the printer takes and sends text in a
// narrow code page, GB18030 with the Chinese interface and windows-1252 otherwise.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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

// Turns the bytes a printer sends into characters, a run of bytes at a time. A character of
// several bytes (GB18030 has two- and four-byte ones) comes out once its last byte has
// arrived, in whichever run that is; bytes that make no character in the code page come out
// as U+FFFD, one for each byte that cannot start or continue a character. However the bytes
// are split into runs, they give the same characters.
class NarrowDecoder {
  public:
    explicit NarrowDecoder(Language language);
    ~NarrowDecoder();
    NarrowDecoder(const NarrowDecoder&) = delete;
    NarrowDecoder& operator=(const NarrowDecoder&) = delete;

    // Appends to out the UTF-16 units that the bytes complete.
    void Decode(const std::uint8_t* bytes, std::size_t count, std::u16string& out);
    // Forgets an incomplete character.
    void Reset() { pending_ = 0; }
    // True while the bytes decoded so far end inside a character.
    bool Incomplete() const { return pending_ != 0; }

  private:
    // The most units one byte can complete: the bytes held back, read again, and its own.
    static constexpr int kMaxUnits = 16;
    // Feeds one byte of a multi-byte code page, held back or not.
    void FeedInto(std::uint8_t byte, char16_t* out, int* n);
    void FillPairs();
    // Appends the decoding of one whole character's bytes (U+FFFD when it has none).
    void Convert(const std::uint8_t* bytes, int count, char16_t* out, int* n);

    bool multiByte_;
    void* converter_;           // iconv_t from the code page to UTF-32LE
    char16_t singleByte_[128];  // bytes 0x80 to 0xFF of a single-byte code page
    // Every two-byte character of a multi-byte code page by lead and trail byte, 0 for the
    // few outside the first plane; filled from the converter when first needed.
    std::unique_ptr<char16_t[]> pairs_;
    std::uint8_t bytes_[4] = {};
    int pending_ = 0;
};

}  // namespace quillon
