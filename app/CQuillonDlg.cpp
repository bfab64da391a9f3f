#include "app/CQuillonDlg.h"

#include "app/ModelTestFile.h"
#include "framework/Texts.h"
#include "pages/CDialog_ComCirculateSend.h"
#include "pages/CDialog_NetCirculateSend.h"
#include "pages/CDialog_OtherCommand.h"
#include "pages/Dialog_TestButton.h"
#include "resources/ResourceIds.h"

namespace quillon {

CQuillonDlg::CQuillonDlg(Language language, QWidget* parent)
    : CDialog(IDD_QUILLON_DIALOG, language, parent), characters_(language) {
    state_.send.selectedFile = LoadString(language, IDS_NO_FILE);
    CreateControls();
    BuildMessageTable();
}

CQuillonDlg::~CQuillonDlg() {
    DestroyWindow();
}

CDialog* CQuillonDlg::Page(int index) const {
    switch (index) {
        case kComCyclePage:
            return comCycle_.get();
        case kNetCyclePage:
            return netCycle_.get();
        case kTestPage:
            return testPage_.get();
        case kOthersPage:
            return otherPage_.get();
        default:
            return nullptr;
    }
}

void CQuillonDlg::BuildMessageTable() {
    OnMessage(UM_RX_BYTE, [this](WPARAM w, LPARAM) { return OnRxByte(w); });
    OnMessage(UM_RX_BLOCK, [this](WPARAM w, LPARAM) { return OnRxBlock(w); });
    OnMessage(UM_TX_DONE, [this](WPARAM w, LPARAM l) { return OnTxDone(w, l); });
    OnMessage(UM_TX_HELD, [this](WPARAM w, LPARAM) { return OnTxHeld(w); });
    OnMessage(UM_LINE_STATUS, [this](WPARAM, LPARAM) { return OnLineStatus(); });
    OnMessage(UM_NET_CLOSED, [this](WPARAM, LPARAM) { return OnNetClosed(); });
    OnMessage(UM_SESSION_LOG_FAILED, [this](WPARAM, LPARAM) { return OnSessionLogFailed(); });
    OnMessage(UM_PRINTER_COMMAND, [this](WPARAM, LPARAM l) { return OnPrinterCommand(l); });
    OnMessage(UM_CYCLE_FAILED, [this](WPARAM, LPARAM) { return OnCycleFailed(); });
    OnMessage(UM_MODEL_TEST, [this](WPARAM, LPARAM l) { return OnModelTest(l); });
    OnMessage(WM_DEVICECHANGE, [this](WPARAM w, LPARAM) { return OnDeviceChange(w); });
    OnMessage(WM_TIMER, [this](WPARAM w, LPARAM) { return OnTimer(w); });
    OnMessage(WM_CLOSE, [this](WPARAM, LPARAM) { return OnClose(); });
    OnMessage(WM_DESTROY, [this](WPARAM, LPARAM) { return OnDestroy(); });

    const std::pair<int, void (CQuillonDlg::*)()> clicks[] = {
        {IDC_OPEN_CLOSE, &CQuillonDlg::OnOpenClose},
        {IDC_CLEAR_RECEIVE, &CQuillonDlg::OnClearReceive},
        {IDC_PAUSE, &CQuillonDlg::OnPause},
        {IDC_RECOUNT, &CQuillonDlg::OnRecount},
        {IDC_SEND, &CQuillonDlg::OnSend},
        {IDC_AUTO_SEND, &CQuillonDlg::OnAutoSend},
        {IDC_CLEAR_SEND, &CQuillonDlg::OnClearSend},
        {IDC_BROWSE, &CQuillonDlg::OnBrowse},
        {IDC_SEND_FILE, &CQuillonDlg::OnSendFile},
        {IDC_SAVE, &CQuillonDlg::OnSave},
        {IDC_MODIFY_DIR, &CQuillonDlg::OnModifyDirectory},
        {IDC_HEX_SHOW, &CQuillonDlg::OnHexShow},
        {IDC_HEX_SEND, &CQuillonDlg::OnHexSend},
        {IDC_FILE_AUTO_SEND, &CQuillonDlg::OnFileAutoSend},
        {IDC_PUSH_PIN, &CQuillonDlg::OnPushPin},
        {IDC_PAGE_AREA, &CQuillonDlg::OnPageAreaToggle},
        {IDC_HELP, &CQuillonDlg::OnHelp},
        {IDC_PRINT_TEST, &CQuillonDlg::OnPrintTest},
    };
    for (const auto& [id, handler] : clicks)
        OnCommand(BN_CLICKED, id, [this, handler = handler] { (this->*handler)(); });

    OnCommand(EN_CHANGE, IDC_INTERVAL, [this] { OnIntervalChange(); });
    OnCommand(CBN_SELCHANGE, IDC_PORT, [this] { OnPortSelectionChange(); });
    OnCommand(CBN_SELCHANGE, IDC_MULTIPLE, [this] { OnMultipleChange(); });
    for (int id : {IDC_BAUD, IDC_PARITY, IDC_DATA_BITS, IDC_STOP_BITS})
        OnCommand(CBN_SELCHANGE, id, [this] { OnSerialSettingChange(); });
    OnCommand(CBN_SELCHANGE, IDC_NET_PORT, [this] { OnNetworkPortChange(); });
    OnCommand(TCN_SELCHANGE, IDC_TABS, [this] { OnTabSelChange(); });
    // EN_SETFOCUS on 1009, CBN_DROPDOWN on 1000 and EN_CHANGE on 1012 take no action.
}

}  // namespace quillon
