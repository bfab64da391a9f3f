#include "framework/IpAddressEdit.h"

#include <QRegularExpressionValidator>

#include "transport/IpAddressText.h"

namespace quillon {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QLineEdit(parent) {
    const QString field = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?");
    const QRegularExpression pattern(QStringLiteral("^%1(\\.%1){0,3}$").arg(field));
    setValidator(new QRegularExpressionValidator(pattern, this));
    setAlignment(Qt::AlignCenter);
    setMinimumWidth(sizeHint().width());
}

QString IpAddressEdit::Address() const {
    const QStringList fields = text().split(u'.');
    auto field = [&](int i) { return i < fields.size() ? fields[i].toInt() : 0; };
    return QString::fromStdString(FormatIpAddress(field(0), field(1), field(2), field(3)));
}

void IpAddressEdit::SetAddress(const QString& dotted) {
    setText(dotted);
}

QSize IpAddressEdit::sizeHint() const {
    QSize size = QLineEdit::sizeHint();
    size.setWidth(fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000")) + 24);
    return size;
}

}  // namespace quillon
