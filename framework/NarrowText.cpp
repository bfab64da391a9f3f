#include "framework/NarrowText.h"

#include <iconv.h>

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

}  // namespace quillon
