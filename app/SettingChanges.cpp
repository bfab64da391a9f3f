// The serial lists and the network port list: the serial parameter text they make and
// show, and what changing them does while cycle sending is chosen.

#include <QComboBox>

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "pages/CDialog_ComCirculateSend.h"
#include "resources/ResourceIds.h"
#include "transport/Conversions.h"

namespace quillon {

namespace {

int SelectedNumber(const CDialog& dialog, int id) {
    return dialog.ItemText(id).toInt();
}

// Selects the first entry whose number is `number`; leaves the list as it is when none is.
void SelectNumber(CDialog& dialog, int id, int number) {
    const auto* list = dialog.Item<QComboBox>(id);
    for (int i = 0; i < list->count(); ++i) {
        if (list->itemText(i).toInt() == number) {
            dialog.SetCurSel(id, i);
            return;
        }
    }
}

}  // namespace

void CQuillonDlg::CombosFromSerialText() {
    const std::string text = state_.port.serialParameterText.toStdString();
    ParseSerialSettings(text, &state_.port.baudRate, &state_.port.parity, &state_.port.dataBits,
                        &state_.port.stopBits, &state_.port.flowControl);
    SelectNumber(*this, IDC_BAUD, state_.port.baudRate);
    if (state_.port.parity == 'E')
        SetCurSel(IDC_PARITY, 2);
    else if (state_.port.parity == 'N')
        SetCurSel(IDC_PARITY, 0);
    else if (state_.port.parity == 'O')
        SetCurSel(IDC_PARITY, 1);
    SelectNumber(*this, IDC_DATA_BITS, state_.port.dataBits);
    SelectNumber(*this, IDC_STOP_BITS, state_.port.stopBits);
    // An index the list does not have would leave it with no entry selected at all.
    if (state_.port.flowControl >= 0 &&
        state_.port.flowControl < Item<QComboBox>(IDC_FLOW)->count())
        SetCurSel(IDC_FLOW, state_.port.flowControl);
}

void CQuillonDlg::ShowSerialParameters(const QString& parameterText) {
    state_.port.serialParameterText = parameterText;
    CombosFromSerialText();
}

void CQuillonDlg::OnSerialSettingChange() {
    // With Multiple "NO" the lists are read when the port is opened.
    if (CurSel(IDC_MULTIPLE) != 1)
        return;
    SerialTextFromCombos();
    comCycle_->SendMessage(UM_CYCLE_UPDATE, 0, 1);
}

void CQuillonDlg::OnNetworkPortChange() {
    state_.port.networkPort = SelectedNumber(*this, IDC_NET_PORT);
}

}  // namespace quillon
