// The modem input lines of an open serial port at the end of the port state line.

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "resources/ResourceIds.h"
#include "transport/SerialLines.h"

namespace quillon {

void CQuillonDlg::ShowLineStatus() {
    const int handle = transport_.GetSerialHandle();
    if (handle >= 0) {
        std::uint32_t status = 0;
        // A device without modem lines (a pseudo-terminal) reads as all lines down.
        const bool read = GetCommModemStatus(handle, &status) != 0;
        transport_.ctsOn = read && (status & MS_CTS_ON) ? 1 : 0;
        transport_.dsrOn = read && (status & MS_DSR_ON) ? 1 : 0;
        transport_.rlsdOn = read && (status & MS_RLSD_ON) ? 1 : 0;
    }
    state_.port.modemLineText = Format(QStringLiteral(" CTS=%d DSR=%d RLSD=%d"),
                                       {transport_.ctsOn, transport_.dsrOn, transport_.rlsdOn});
    SetItemText(IDC_PORT_STATE,
                state_.port.stateText + state_.port.modemLineText + state_.port.holdText);
}

LRESULT CQuillonDlg::OnLineStatus() {
    ShowLineStatus();
    return 0;
}

}  // namespace quillon
