#include "framework/Texts.h"

#include <QFile>
#include <map>
#include <stdexcept>
#include <string>

namespace quillon {

namespace {

struct Entry {
    QString english;
    QString chinese;
};

// "\n", "\r", "\t" and "\\" in the table stand for those characters.
QString Unescape(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c != u'\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const QChar next = field[++i];
        if (next == u'n')
            out += u'\n';
        else if (next == u'r')
            out += u'\r';
        else if (next == u't')
            out += u'\t';
        else
            out += next;
    }
    return out;
}

// Lines "key<TAB>English<TAB>Chinese", or "key<TAB>text" for a text shared by both
// languages (the single-language templates). '#' starts a comment line.
std::map<std::string, Entry, std::less<>> Load() {
    std::map<std::string, Entry, std::less<>> table;
    QFile file(QStringLiteral(":/quillon/texts.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("the text table is not built into the program");
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString& raw : lines) {
        const QString line = raw.endsWith(u'\r') ? raw.chopped(1) : raw;
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u'\t');
        if (fields.size() < 2)
            continue;
        const QString english = Unescape(fields[1]);
        const QString chinese = fields.size() > 2 ? Unescape(fields[2]) : english;
        table[fields[0].toStdString()] = {english, chinese};
    }
    return table;
}

const std::map<std::string, Entry, std::less<>>& Table() {
    static const auto table = Load();
    return table;
}

}  // namespace

QString Text(Language language, std::string_view key) {
    const auto& table = Table();
    const auto it = table.find(key);
    if (it == table.end())
        throw std::out_of_range("no text for " + std::string(key));
    return language == Language::Chinese ? it->second.chinese : it->second.english;
}

bool HasText(std::string_view key) {
    return Table().find(key) != Table().end();
}

QStringList TextList(Language language, std::string_view key) {
    return Text(language, key).split(u'|');
}

QString LoadString(Language language, int id) {
    const std::string key = "S" + std::to_string(id);
    return HasText(key) ? Text(language, key) : QString();
}

QList<int> StringTableIds() {
    QList<int> ids;
    for (int id = 157; id <= 193; ++id)
        if (HasText("S" + std::to_string(id)))
            ids.append(id);
    return ids;
}

}  // namespace quillon
