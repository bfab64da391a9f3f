// Choosing a port entry sets the port kind; choosing Multiple "YES" brings up the cycle
// page of that kind and tells both cycle pages whether their targets are usable.

#include <QComboBox>

#include "app/CQuillonDlg.h"
#include "app/MultipleChoice.h"
#include "pages/CDialog_ComCirculateSend.h"
#include "pages/CDialog_NetCirculateSend.h"
#include "resources/ResourceIds.h"

namespace quillon {

void CQuillonDlg::OnPortSelectionChange() {
    const int index = CurSel(IDC_PORT);
    const int last = Item<QComboBox>(IDC_PORT)->count() - 1;
    const int serial = state_.serialCount;
    const int parallel = serial + state_.parallelCount;
    const int usb = parallel + state_.usbCount;
    if (index >= 0) {
        if (index < serial)
            state_.port.kind = kPortSerial;
        else if (index < parallel)
            state_.port.kind = kPortParallel;
        else if (index < usb)
            state_.port.kind = kPortUsb;
        else if (index == last)
            state_.port.kind = kPortNetwork;
    }
    // Cycle sending exists only for serial ports and the network entry.
    if (state_.port.kind != kPortSerial && state_.port.kind != kPortNetwork)
        SetCurSel(IDC_MULTIPLE, kMultipleNo);
    OnMultipleChange();
}

void CQuillonDlg::OnMultipleChange() {
    const bool multiple = CurSel(IDC_MULTIPLE) == kMultipleYes;
    if (multiple) {
        if (state_.pageArea == 0)
            SetPageArea(1);
        if (state_.port.kind == kPortSerial && CurSel(IDC_TABS) != kComCyclePage) {
            SetCurSel(IDC_TABS, kComCyclePage);
            ShowSelectedPage();
        } else if (state_.port.kind == kPortNetwork && CurSel(IDC_TABS) != kNetCyclePage) {
            SetCurSel(IDC_TABS, kNetCyclePage);
            ShowSelectedPage();
        }
    } else {
        state_.serialTargets = 0;
        state_.networkTargets = 0;
    }
    netCycle_->SendMessage(UM_CYCLE_UPDATE, 1, multiple && state_.port.kind == kPortNetwork);
    comCycle_->SendMessage(UM_CYCLE_UPDATE, 1, multiple && state_.port.kind == kPortSerial);
    RefreshControlStates();
}

}  // namespace quillon
