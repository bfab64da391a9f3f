// Opening the selected port and closing it again: the state line, the icon, the button's
// caption and the two pages that only work with an open port follow the outcome.

#include <QComboBox>
#include <QLabel>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "framework/Format.h"
#include "framework/IpAddressEdit.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {

// The number after the first three characters of "COM12" or "USB2"; 0 when there is none.
int NumberAfterPrefix(const QString& name) {
    return name.mid(3).toInt();
}

}  // namespace

void CQuillonDlg::OnOpenClose() {
    if (state_.port.open)
        ClosePort();
    else
        state_.port.open = OpenSelectedPort();
    ShowPortState();
    if (!state_.port.open && state_.portListStale)
        RefreshPortList();
}

void CQuillonDlg::SerialTextFromCombos() {
    PortState& port = state_.port;
    port.baudRate = ItemText(IDC_BAUD).toInt();
    const int parity = CurSel(IDC_PARITY);
    port.parity = parity == 1 ? 'O' : parity == 2 ? 'E' : 'N';
    port.dataBits = ItemText(IDC_DATA_BITS).toInt();
    port.stopBits = ItemText(IDC_STOP_BITS).toInt();
    port.flowControl = CurSel(IDC_FLOW);
    port.serialParameterText =
        Format(QStringLiteral("%d,%c,%d,%d, %d"),
               {port.baudRate, port.parity, port.dataBits, port.stopBits, port.flowControl});
}

int CQuillonDlg::OpenSelectedPort() {
    const Language lang = language();
    PortState& port = state_.port;
    port.selectedName = ItemText(IDC_PORT);
    const QByteArray name = port.selectedName.toUtf8();
    int opened = 0;
    // How the session log names the port, and what its opening line says of it.
    QString logName = port.selectedName;
    QString openText = port.selectedName;
    switch (port.kind) {
        case kPortSerial:
            port.serialPortNumber = NumberAfterPrefix(port.selectedName);
            SerialTextFromCombos();
            opened = transport_.OpenSerial(Handle(), port.serialPortNumber, port.baudRate,
                                           port.parity, port.dataBits, port.stopBits,
                                           port.flowControl, port.lineEventMask,
                                           IsChecked(IDC_DTR) ? 1 : 0, IsChecked(IDC_RTS) ? 1 : 0);
            if (opened)
                port.stateText = Format(LoadString(lang, IDS_SERIAL_OPENED),
                                        {port.serialPortNumber, port.baudRate, port.parity,
                                         port.dataBits, port.stopBits});
            openText += Format(
                QStringLiteral(" %s DTR=%d RTS=%d"),
                {port.serialParameterText, IsChecked(IDC_DTR) ? 1 : 0, IsChecked(IDC_RTS) ? 1 : 0});
            break;
        case kPortParallel:
            opened = transport_.OpenParallel(Handle(), name.constData());
            port.stateText = Format(LoadString(lang, IDS_PORT_OPENED), {port.selectedName});
            break;
        case kPortUsb: {
            port.stateText = Format(LoadString(lang, IDS_PORT_OPENED), {port.selectedName});
            const auto found = state_.usbPaths.find(
                static_cast<std::uint32_t>(NumberAfterPrefix(port.selectedName)));
            port.usbDevicePath = found != state_.usbPaths.end() ? found->second : QString();
            opened = transport_.OpenUsb(Handle(), port.usbDevicePath.toUtf8().constData());
            openText += u' ' + port.usbDevicePath;
            break;
        }
        default: {
            port.stateText = Format(LoadString(lang, IDS_PORT_OPENED), {port.selectedName});
            const QByteArray address = Item<IpAddressEdit>(IDC_IP_ADDRESS)->Address().toUtf8();
            opened = transport_.OpenNetwork(Handle(), address.constData(), port.networkPort);
            logName = QString::fromUtf8(address) + u'-' + QString::number(port.networkPort);
            openText = QString::fromUtf8(address) + u':' + QString::number(port.networkPort);
            break;
        }
    }
    if (!opened) {
        port.stateText = LoadString(lang, IDS_PORT_CLOSED);
        MessageBox(Format(LoadString(lang, IDS_OPEN_FAILED), {port.selectedName}));
        return 0;
    }
    printerAnswers_.Reset();
    StartSessionLog(logName, openText);
    return 1;
}

void CQuillonDlg::ClosePort() {
    // A model test run ends with its port: nothing more of the file goes out.
    EndModelTest();
    // The automatic sends end first, so that nothing is sent after the close.
    StopAutomaticSends();
    SendState& send = state_.send;
    if (send.sendingInProgress || send.fileJob.active()) {
        send.sendingInProgress = 0;
        send.fileJob.Stop();
        SetItemText(IDC_FILE_LABEL, send.selectedFile);
    }
    // What the port has not reported yet goes with it; what it reported stays counted.
    // Re-sends that were waiting for the port go too.
    send.handedOver.clear();
    send.dueResends.clear();
    // A button still waiting for answers waits no more.
    KillTimer(kPrinterQueryTimer);
    printerAnswers_.EndQuery();
    transport_.Close();
    EndSessionLog({});
    state_.port.open = 0;
    state_.port.holdText.clear();
    state_.port.stateText = LoadString(language(), IDS_PORT_CLOSED);
    state_.port.selectedName.clear();
}

void CQuillonDlg::ShowPortState() {
    const bool open = state_.port.open != 0;
    if (transport_.portKind() == kPortSerial)
        ShowLineStatus();
    else
        SetItemText(IDC_PORT_STATE, state_.port.stateText + state_.port.holdText);
    Item<QLabel>(IDC_PORT_ICON)->setPixmap(open ? state_.port.openIcon : state_.port.closedIcon);
    SetItemText(IDC_OPEN_CLOSE, LoadString(language(), open ? IDS_CLOSE_PORT : IDS_OPEN_PORT));
    // The Others and Test pages follow the port there.
    RefreshControlStates();
}

LRESULT CQuillonDlg::OnNetClosed() {
    if (!state_.port.open)
        return 0;
    const QString broken = LoadString(language(), IDS_CONNECTION_BROKEN);
    LogNote("NOTE", QStringLiteral("the printer closed the connection"));
    OnOpenClose();
    MessageBox(broken);
    return 0;
}

}  // namespace quillon
