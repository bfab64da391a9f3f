// The port list: serial ports, parallel ports, USB printers and the network entry, in
// that order; the counts of each kind give an entry's port kind.

#include <QComboBox>

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "framework/ResourceIds.h"
#include "framework/Texts.h"

void CQuillonDlg::FillPortList() {
    // Port discovery does not exist in this window yet, so only the network entry is listed.
    SetPortEntries({}, {}, {});
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
