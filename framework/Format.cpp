#include "framework/Format.h"

#include <QChar>
#include <vector>

namespace quillon {

namespace {

struct FieldFormat {
    bool left = false;
    bool zero = false;
    int width = 0;
    int precision = -1;
};

QString Pad(QString text, const FieldFormat& field, bool numeric) {
    if (text.size() >= field.width)
        return text;
    const qsizetype fill = field.width - text.size();
    if (field.left)
        return text + QString(fill, u' ');
    if (field.zero && numeric) {
        const bool negative = text.startsWith(u'-');
        return (negative ? QStringLiteral("-") : QString()) + QString(fill, u'0') +
               text.mid(negative ? 1 : 0);
    }
    return QString(fill, u' ') + text;
}

using Value = decltype(FormatArg::value);

long long AsSigned(const Value& arg) {
    if (const auto* v = std::get_if<long long>(&arg))
        return *v;
    if (const auto* v = std::get_if<unsigned long long>(&arg))
        return static_cast<long long>(*v);
    if (const auto* v = std::get_if<double>(&arg))
        return static_cast<long long>(*v);
    if (const auto* v = std::get_if<char>(&arg))
        return static_cast<unsigned char>(*v);
    return std::get<QString>(arg).toLongLong();
}

double AsDouble(const Value& arg) {
    if (const auto* v = std::get_if<double>(&arg))
        return *v;
    return static_cast<double>(AsSigned(arg));
}

QString AsText(const Value& arg) {
    if (const auto* v = std::get_if<QString>(&arg))
        return *v;
    if (const auto* v = std::get_if<char>(&arg))
        return QString(QChar(static_cast<unsigned char>(*v)));
    return QString::number(AsSigned(arg));
}

}  // namespace

QString Format(const QString& format, std::initializer_list<FormatArg> args) {
    const std::vector<FormatArg> values(args);
    std::size_t next = 0;
    QString out;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != u'%') {
            out += c;
            continue;
        }
        FieldFormat field;
        const qsizetype start = i;
        qsizetype j = i + 1;
        for (; j < format.size() && (format[j] == u'-' || format[j] == u'0'); ++j)
            (format[j] == u'-' ? field.left : field.zero) = true;
        for (; j < format.size() && format[j].isDigit(); ++j)
            field.width = field.width * 10 + format[j].digitValue();
        if (j < format.size() && format[j] == u'.') {
            field.precision = 0;
            for (++j; j < format.size() && format[j].isDigit(); ++j)
                field.precision = field.precision * 10 + format[j].digitValue();
        }
        while (j < format.size() && (format[j] == u'l' || format[j] == u'h'))
            ++j;
        if (j >= format.size()) {
            out += format.mid(i);
            break;
        }
        const QChar conversion = format[j];
        i = j;
        if (conversion == u'%') {
            out += u'%';
            continue;
        }
        if (next >= values.size())
            continue;
        const Value& arg = values[next++].value;
        switch (conversion.unicode()) {
            case 'd':
            case 'i':
                out += Pad(QString::number(AsSigned(arg)), field, true);
                break;
            case 'u':
                out += Pad(QString::number(static_cast<unsigned long long>(AsSigned(arg))), field,
                           true);
                break;
            case 'x':
            case 'X': {
                QString hex = QString::number(static_cast<unsigned long long>(AsSigned(arg)), 16);
                out += Pad(conversion == u'X' ? hex.toUpper() : hex, field, true);
                break;
            }
            case 'f':
                out += Pad(
                    QString::number(AsDouble(arg), 'f', field.precision < 0 ? 6 : field.precision),
                    field, true);
                break;
            case 'c':
            case 's':
                out += Pad(AsText(arg), field, false);
                break;
            default:
                --next;  // unknown conversion: shown as written
                out += format.mid(start, j - start + 1);
                break;
        }
    }
    return out;
}

}  // namespace quillon
