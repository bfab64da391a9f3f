#include "framework/NarrowText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace quillon {

const char* NarrowCodePage(Language language) {
    return language == Language::Chinese ? "GB18030" : "WINDOWS-1252";
}

std::optional<QByteArray> ToNarrowBytes(const QString& text, Language language) {
    if (text.isEmpty())
        return QByteArray();
    iconv_t converter = iconv_open(NarrowCodePage(language), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray utf8 = text.toUtf8();
    // Four bytes per character is the most either code page needs.
    QByteArray out(utf8.size() * 4 + 4, Qt::Uninitialized);
    char* in = utf8.data();
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    char* outPtr = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    // glibc counts characters it replaced as irreversible; a character it could not
    // convert at all stops the conversion with EILSEQ.
    if (result != 0 || inLeft != 0)
        return std::nullopt;
    out.truncate(static_cast<int>(outPtr - out.data()));
    return out;
}

QString FirstUnencodable(const QString& text, Language language) {
    iconv_t converter = iconv_open(NarrowCodePage(language), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return text.left(1);
    QByteArray utf8 = text.toUtf8();
    char* in = utf8.data();
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    QByteArray out(4096, Qt::Uninitialized);
    QString found;
    while (inLeft > 0) {
        char* outPtr = out.data();
        std::size_t outLeft = static_cast<std::size_t>(out.size());
        const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        if (result != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;  // converted, or the output area is full: go on with the rest
        // Stopped at the character it cannot take: `in` points at its first byte.
        const auto lead = static_cast<unsigned char>(*in);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        found = QString::fromUtf8(in, static_cast<qsizetype>(std::min(length, inLeft)));
        break;
    }
    iconv_close(converter);
    return found;
}

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool InRange(std::uint8_t byte, std::uint8_t low, std::uint8_t high) {
    return byte >= low && byte <= high;
}

// GB18030: one byte below 0x80; a lead 0x81-0xFE then a trail 0x40-0x7E or 0x80-0xFE;
// or a lead, a digit 0x30-0x39, a byte 0x81-0xFE and a digit.
bool IsLead(std::uint8_t byte) {
    return InRange(byte, 0x81, 0xFE);
}
bool IsTrail(std::uint8_t byte) {
    return InRange(byte, 0x40, 0x7E) || InRange(byte, 0x80, 0xFE);
}
constexpr int kTrails = 0xFE - 0x40 + 1;  // 0x7F among them, never used
int PairIndex(std::uint8_t lead, std::uint8_t trail) {
    return (lead - 0x81) * kTrails + (trail - 0x40);
}

}  // namespace

NarrowDecoder::NarrowDecoder(Language language)
    : multiByte_(language == Language::Chinese),
      converter_(iconv_open("UTF-32LE", NarrowCodePage(language))) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const auto b = static_cast<std::uint8_t>(byte);
        char16_t out[kMaxUnits];
        int n = 0;
        Convert(&b, 1, out, &n);
        // A single-byte code page maps every byte to one character of the first plane.
        singleByte_[byte - 0x80] = n == 1 ? out[0] : kReplacement;
    }
}

NarrowDecoder::~NarrowDecoder() {
    if (converter_ != reinterpret_cast<void*>(-1))
        iconv_close(static_cast<iconv_t>(converter_));
}

void NarrowDecoder::Decode(const std::uint8_t* bytes, std::size_t count, std::u16string& out) {
    std::size_t at = out.size();
    // Each byte completes at most one unit of its own (a character of two units takes at
    // least two bytes), and the bytes held back from before at most one each.
    out.resize(at + count + kMaxUnits);
    char16_t* units = out.data();
    if (!multiByte_) {
        for (std::size_t i = 0; i < count; ++i)
            units[at++] = bytes[i] < 0x80 ? bytes[i] : singleByte_[bytes[i] - 0x80];
        out.resize(at);
        return;
    }
    if (!pairs_)
        FillPairs();
    for (std::size_t i = 0; i < count;) {
        const std::uint8_t byte = bytes[i];
        if (pending_ == 0) {
            if (byte < 0x80) {
                units[at++] = byte;
                ++i;
                continue;
            }
            if (i + 1 < count && IsLead(byte) && IsTrail(bytes[i + 1])) {
                if (const char16_t unit = pairs_[PairIndex(byte, bytes[i + 1])]) {
                    units[at++] = unit;
                    i += 2;
                    continue;
                }
            }
        }
        // A character split across runs, a four-byte one or a byte that makes none.
        int n = 0;
        FeedInto(byte, units + at, &n);
        at += static_cast<std::size_t>(n);
        ++i;
    }
    out.resize(at);
}

void NarrowDecoder::FillPairs() {
    // One converter call per two-byte character as it came was most of the time spent on a
    // Chinese dump; the whole table costs a few milliseconds once.
    pairs_ = std::make_unique<char16_t[]>((0xFE - 0x81 + 1) * kTrails);
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const std::uint8_t pair[2] = {static_cast<std::uint8_t>(lead),
                                          static_cast<std::uint8_t>(trail)};
            if (!IsTrail(pair[1]))
                continue;
            char16_t units[kMaxUnits];
            int n = 0;
            Convert(pair, 2, units, &n);
            pairs_[PairIndex(pair[0], pair[1])] = n == 1 ? units[0] : 0;
        }
    }
}

void NarrowDecoder::Convert(const std::uint8_t* bytes, int count, char16_t* out, int* n) {
    const auto converter = static_cast<iconv_t>(converter_);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        out[(*n)++] = kReplacement;
        return;
    }
    char in[4];
    for (int i = 0; i < count; ++i)
        in[i] = static_cast<char>(bytes[i]);
    unsigned char utf32[16];
    char* inPtr = in;
    std::size_t inLeft = static_cast<std::size_t>(count);
    char* outPtr = reinterpret_cast<char*>(utf32);
    std::size_t outLeft = sizeof utf32;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    const std::size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    const std::size_t produced = sizeof utf32 - outLeft;
    if (result == static_cast<std::size_t>(-1) || inLeft != 0 || produced == 0) {
        out[(*n)++] = kReplacement;
        return;
    }
    for (std::size_t at = 0; at + 4 <= produced; at += 4) {
        const std::uint32_t code = utf32[at] | (utf32[at + 1] << 8) | (utf32[at + 2] << 16) |
                                   (static_cast<std::uint32_t>(utf32[at + 3]) << 24);
        if (code > 0x10FFFF) {
            out[(*n)++] = kReplacement;
        } else if (code > 0xFFFF) {
            out[(*n)++] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out[(*n)++] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out[(*n)++] = static_cast<char16_t>(code);
        }
    }
}

void NarrowDecoder::FeedInto(std::uint8_t byte, char16_t* out, int* n) {
    switch (pending_) {
        case 0:
            if (byte < 0x80) {
                out[(*n)++] = static_cast<char16_t>(byte);
            } else if (IsLead(byte)) {
                bytes_[pending_++] = byte;
            } else {
                Convert(&byte, 1, out, n);
            }
            return;
        case 1:
            if (IsTrail(byte)) {
                bytes_[1] = byte;
                pending_ = 0;
                if (const char16_t unit = pairs_[PairIndex(bytes_[0], byte)])
                    out[(*n)++] = unit;
                else
                    Convert(bytes_, 2, out, n);
            } else if (InRange(byte, 0x30, 0x39)) {
                bytes_[pending_++] = byte;
            } else {
                break;
            }
            return;
        case 2:
            if (IsLead(byte)) {
                bytes_[pending_++] = byte;
                return;
            }
            break;
        default:
            if (InRange(byte, 0x30, 0x39)) {
                bytes_[3] = byte;
                pending_ = 0;
                Convert(bytes_, 4, out, n);
                return;
            }
            break;
    }
    // The byte cannot continue the character begun: the lead stands for nothing, and what
    // followed it is read again from the start.
    std::uint8_t again[3];
    int count = 0;
    for (int i = 1; i < pending_; ++i)
        again[count++] = bytes_[i];
    again[count++] = byte;
    pending_ = 0;
    out[(*n)++] = kReplacement;
    for (int i = 0; i < count; ++i)
        FeedInto(again[i], out, n);
}

}  // namespace quillon
