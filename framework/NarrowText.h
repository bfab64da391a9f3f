#pragma once
// The bytes a printer speaks: the window shows Unicode, the printer takes and sends text in a
// narrow code page, GB18030 with the Chinese interface and windows-1252 otherwise.

#include <QByteArray>
#include <QString>
#include <optional>

#include "framework/Language.h"

namespace quillon {

// The iconv name of the code page printers are spoken to in with this interface language.
const char* NarrowCodePage(Language language);

// Encodes text to the narrow code page; nothing when a character has no place in it (the
// caller says so instead of sending a substitute).
std::optional<QByteArray> ToNarrowBytes(const QString& text, Language language);

}  // namespace quillon
