#pragma once
// Every text the windows show, in English and Chinese, from the table in resources/texts.tsv.
// Keys: "S<id>" for the string table, "D<dialog>.<control id>" for control texts, and
// "D<dialog>.<name>" for texts without a control id (group boxes, labels, list items).

#include <QString>
#include <QStringList>
#include <string_view>

#include "framework/Language.h"

namespace quillon {

// The text of a key in a language. Throws std::out_of_range for a key the table lacks, so
// that a missing text is found by the first test that builds the window.
QString Text(Language language, std::string_view key);
// Whether the table holds the key.
bool HasText(std::string_view key);
// A text whose parts are separated by '|' (the entries of a drop-down list).
QStringList TextList(Language language, std::string_view key);
// Entry `id` of the string table (157 to 193); empty for an id the table does not use.
QString LoadString(Language language, int id);
// The ids the string table uses, ascending.
QList<int> StringTableIds();

}  // namespace quillon
