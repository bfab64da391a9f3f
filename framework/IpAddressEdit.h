#pragma once
// An IPv4 address field: four numbers 0 to 255 separated by dots.

#include <QLineEdit>

namespace quillon {

class IpAddressEdit : public QLineEdit {
  public:
    explicit IpAddressEdit(QWidget* parent = nullptr);
    // The address as "%d.%d.%d.%d"; fields left blank read as 0.
    QString Address() const;
    void SetAddress(const QString& dotted);
    QSize sizeHint() const override;
};

}  // namespace quillon
