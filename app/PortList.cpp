// The port list: serial ports, parallel ports, USB printers and the network entry, in
// that order; the counts of each kind give an entry's port kind.

#include <QComboBox>

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "transport/PortDiscovery.h"

namespace quillon {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// What the user sees on hovering over a USB entry: its node and the ids lsusb shows.
QString UsbTip(const UsbPrinterInfo& printer) {
    if (printer.vendorId.empty() && printer.productId.empty())
        return Text(printer.node);
    return Text(printer.node + " (USB " + printer.vendorId + ":" + printer.productId + ")");
}

}  // namespace

void CQuillonDlg::FillPortList() {
    QStringList serial;
    QStringList parallel;
    QStringList usbPaths;
    // Each entry's device as its tooltip, so that a user can tell which COM number is
    // which adapter.
    QStringList tips;
    for (const SerialPortInfo& port : ListSerialPorts()) {
        serial << Text(port.name);
        tips << Text(port.device);
    }
    for (const ParallelPortInfo& port : ListParallelPorts()) {
        parallel << Text(port.name);
        tips << Text(port.device);
    }
    for (const UsbPrinterInfo& printer : FindUsbPrinters()) {
        usbPaths << Text(printer.path);
        tips << UsbTip(printer);
    }
    SetPortEntries(serial, parallel, usbPaths);
    auto* list = Item<QComboBox>(IDC_PORT);
    for (int i = 0; i < tips.size(); ++i)
        list->setItemData(i, tips[i], Qt::ToolTipRole);
}

void CQuillonDlg::SetPortEntries(const QStringList& serial, const QStringList& parallel,
                                 const QStringList& usbPaths) {
    auto* list = Item<QComboBox>(IDC_PORT);
    list->clear();
    state_.serialPortNames = serial;
    state_.serialCount = static_cast<int>(serial.size());
    list->addItems(serial);
    state_.parallelCount = static_cast<int>(parallel.size());
    list->addItems(parallel);
    state_.usbCount = 0;
    state_.usbPaths.clear();
    for (const QString& path : usbPaths) {
        ++state_.usbCount;
        list->addItem(Format(QStringLiteral("USB%d"), {static_cast<long long>(state_.usbCount)}));
        state_.usbPaths[static_cast<std::uint32_t>(state_.usbCount)] = path;
    }
    list->addItem(LoadString(language(), IDS_ETHERNET));
    SetCurSel(IDC_PORT, 0);
}

}  // namespace quillon
