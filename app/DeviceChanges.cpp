// Devices coming and going: the port list follows them while no port is open; the open
// USB printer going away closes the port and says so.

#include <QComboBox>
#include <algorithm>
#include <string>
#include <vector>

#include "app/CQuillonDlg.h"
#include "framework/DeviceWatcher.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "transport/PortDiscovery.h"
#include "transport/SerialPortNames.h"
#include "transport/platform/DeviceRoots.h"

namespace quillon {

void CQuillonDlg::WatchDevices() {
    const QString devices = QString::fromStdString(DevRoot());
    const QStringList paths = {devices, devices + QStringLiteral("/usb"),
                               QString::fromStdString(PortMapPath())};
    new DeviceWatcher(
        paths, [this] { SendMessage(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0); }, this);
}

void CQuillonDlg::RefreshPortList() {
    state_.portListStale = 0;
    const int selected = CurSel(IDC_PORT);
    const QString text = ItemText(IDC_PORT);
    // A USB entry's label is its place in the list, which another printer can take when
    // one goes: the same printer is the same interface path.
    QString usbPath;
    const int firstUsb = state_.serialCount + state_.parallelCount;
    if (selected >= firstUsb && selected < firstUsb + state_.usbCount)
        usbPath = state_.usbPaths[static_cast<std::uint32_t>(selected - firstUsb + 1)];

    FillPortList();

    int index = -1;
    if (!usbPath.isEmpty()) {
        for (const auto& [number, path] : state_.usbPaths) {
            if (path == usbPath)
                index = state_.serialCount + state_.parallelCount + static_cast<int>(number) - 1;
        }
    } else {
        index = Item<QComboBox>(IDC_PORT)->findText(text, Qt::MatchExactly);
    }
    if (index >= 0)
        SetCurSel(IDC_PORT, index);
    // The port kind follows the entry now selected, and the cycle pages list the ports
    // that are there now.
    OnPortSelectionChange();
}

LRESULT CQuillonDlg::OnDeviceChange(WPARAM event) {
    if (event != DBT_DEVNODES_CHANGED)
        return 0;
    if (!state_.port.open) {
        RefreshPortList();
        return 0;
    }
    // The list does not change under an open port; it catches up when the port closes.
    state_.portListStale = 1;
    LogNote("DEVICES", QStringLiteral("devices came or went"));
    if (transport_.portKind() != kPortUsb)
        return 0;
    std::vector<std::string> present;
    EnumUsbPrinters(present);
    const std::string open = state_.port.usbDevicePath.toStdString();
    if (std::find(present.begin(), present.end(), open) != present.end())
        return 0;
    // The open printer has gone.
    LogNote("DEVICES", QStringLiteral("the open printer has gone"));
    state_.portListStale = 0;
    FillPortList();
    OnOpenClose();
    OnPortSelectionChange();
    MessageBox(LoadString(language(), IDS_CONNECTION_BROKEN));
    return 0;
}

}  // namespace quillon
