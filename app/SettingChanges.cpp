// The serial lists and the network port list: the serial parameter text they make and
// show, and what changing them does while cycle sending is chosen.

#include <QComboBox>

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "framework/ResourceIds.h"
#include "pages/CDialog_ComCirculateSend.h"
#include "transport/Conversions.h"

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

void CQuillonDlg::SerialTextFromCombos() {
    state_.baudRate = SelectedNumber(*this, IDC_BAUD);
    const int parity = CurSel(IDC_PARITY);
    state_.parity = parity == 1 ? 'O' : parity == 2 ? 'E' : 'N';
    state_.dataBits = SelectedNumber(*this, IDC_DATA_BITS);
    state_.stopBits = SelectedNumber(*this, IDC_STOP_BITS);
    state_.flowControl = CurSel(IDC_FLOW);
    state_.serialParameterText = Format(
        QStringLiteral("%d,%c,%d,%d, %d"),
        {state_.baudRate, state_.parity, state_.dataBits, state_.stopBits, state_.flowControl});
}

void CQuillonDlg::CombosFromSerialText() {
    const std::string text = state_.serialParameterText.toStdString();
    ParseSerialSettings(text, &state_.baudRate, &state_.parity, &state_.dataBits, &state_.stopBits,
                        &state_.flowControl);
    SelectNumber(*this, IDC_BAUD, state_.baudRate);
    if (state_.parity == 'E')
        SetCurSel(IDC_PARITY, 2);
    else if (state_.parity == 'N')
        SetCurSel(IDC_PARITY, 0);
    else if (state_.parity == 'O')
        SetCurSel(IDC_PARITY, 1);
    SelectNumber(*this, IDC_DATA_BITS, state_.dataBits);
    SelectNumber(*this, IDC_STOP_BITS, state_.stopBits);
    // An index the list does not have would leave it with no entry selected at all.
    if (state_.flowControl >= 0 && state_.flowControl < Item<QComboBox>(IDC_FLOW)->count())
        SetCurSel(IDC_FLOW, state_.flowControl);
}

void CQuillonDlg::ShowSerialParameters(const QString& parameterText) {
    state_.serialParameterText = parameterText;
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
    state_.networkPort = SelectedNumber(*this, IDC_NET_PORT);
}
