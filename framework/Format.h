#pragma once
// printf-style formatting of table texts ("%s Open failed.", "Quillon V%.1f") without
// handing a table text to the C library as a format: conversions are matched to typed
// arguments, and a conversion without a matching argument is left out.

#include <QString>
#include <initializer_list>
#include <variant>

namespace quillon {

// One argument, of any of the types the texts format.
struct FormatArg {
    FormatArg(int v) : value(static_cast<long long>(v)) {}
    FormatArg(long v) : value(static_cast<long long>(v)) {}
    FormatArg(long long v) : value(v) {}
    FormatArg(unsigned v) : value(static_cast<unsigned long long>(v)) {}
    FormatArg(unsigned long v) : value(static_cast<unsigned long long>(v)) {}
    FormatArg(unsigned long long v) : value(v) {}
    FormatArg(double v) : value(v) {}
    FormatArg(char v) : value(v) {}
    FormatArg(const QString& v) : value(v) {}
    FormatArg(const char* v) : value(QString::fromUtf8(v)) {}

    std::variant<long long, unsigned long long, double, char, QString> value;
};

// Supports flags '-', '0', width, precision and the conversions d i u x X c s f and %%,
// with the length modifiers l, ll and h accepted and ignored.
QString Format(const QString& format, std::initializer_list<FormatArg> args);

}  // namespace quillon
