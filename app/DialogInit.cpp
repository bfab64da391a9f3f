// Dialog initialisation: every default, the port list, the settings, the tab pages, and
// the first port kind and control states.

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QTabWidget>

#include "app/CQuillonDlg.h"
#include "app/MultipleChoice.h"
#include "app/ReceivedFile.h"
#include "app/Version.h"
#include "framework/Format.h"
#include "framework/IpAddressEdit.h"
#include "framework/Texts.h"
#include "framework/WrappedTextView.h"
#include "pages/CDialog_ComCirculateSend.h"
#include "pages/CDialog_NetCirculateSend.h"
#include "pages/CDialog_OtherCommand.h"
#include "pages/Dialog_TestButton.h"
#include "resources/Icons.h"
#include "resources/ResourceIds.h"
#include "transport/platform/Folders.h"

namespace quillon {

namespace {
const QString kDefaultAddress = QStringLiteral("192.168.1.114");
}

bool CQuillonDlg::OnInitDialog() {
    const Language lang = language();
    // The title carries the version with one decimal.
    setWindowTitle(Format(LoadString(lang, IDS_TITLE), {kProgramVersion}));
    state_.applicationIcon = ApplicationIcon();
    setWindowIcon(state_.applicationIcon);

    SetChecked(IDC_HEX_SHOW, false);
    SetChecked(IDC_HEX_SEND, true);

    state_.port.openIcon = PortIcon(true);
    state_.port.closedIcon = PortIcon(false);
    Item<QLabel>(IDC_PORT_ICON)->setPixmap(state_.port.closedIcon);

    SetCurSel(IDC_PORT, 0);
    SelectString(IDC_BAUD, QStringLiteral("9600"));
    SelectString(IDC_PARITY, QStringLiteral("NONE"));
    SelectString(IDC_DATA_BITS, QStringLiteral("8"));
    SelectString(IDC_STOP_BITS, QStringLiteral("1"));
    SelectString(IDC_FLOW, QStringLiteral("NONE"));
    SetChecked(IDC_DTR, true);
    SetChecked(IDC_RTS, true);
    SetCurSel(IDC_MULTIPLE, kMultipleNo);
    SelectString(IDC_NET_PORT, QStringLiteral("9100"));

    Item<IpAddressEdit>(IDC_IP_ADDRESS)->SetAddress(kDefaultAddress);
    SetItemText(IDC_INTERVAL, QString::number(state_.timers.sendInterval));

    SetItemText(IDC_PORT_STATE, LoadString(lang, IDS_PORT_CLOSED));
    SetItemText(IDC_FILE_LABEL, state_.send.selectedFile);

    FillPortList();
    LoadSettings();
    // A port named at start wins over the one kept from last time, when it is listed; its
    // name may be typed in any case.
    const int start =
        state_.port.startPort.isEmpty()
            ? -1
            : Item<QComboBox>(IDC_PORT)->findText(state_.port.startPort, Qt::MatchFixedString);
    if (start >= 0)
        SetCurSel(IDC_PORT, start);
    CreatePages();
    if (state_.pageArea == 0)
        SetPageArea(0);

    if (state_.saveDirectory.isEmpty()) {
        state_.saveDirectory = DefaultRecordFolder(QString::fromStdString(ProgramFolder()));
        SetItemText(IDC_SAVE_DIR, state_.saveDirectory);
    }
    SetItemText(IDC_SEND_TEXT,
                IsChecked(IDC_HEX_SEND) ? state_.send.hexSendText : state_.send.charSendText);

    OnPortSelectionChange();
    RefreshControlStates();
    WatchDevices();
    FilterReceiveInput();

    GetDlgItem(IDC_OPEN_CLOSE)->setFocus();
    return false;
}

void CQuillonDlg::CreatePages() {
    const Language lang = language();
    comCycle_ = std::make_unique<CDialog_ComCirculateSend>(*this, lang, tabs_);
    netCycle_ = std::make_unique<CDialog_NetCirculateSend>(*this, lang, tabs_);
    testPage_ = std::make_unique<Dialog_TestButton>(*this, lang, tabs_);
    otherPage_ = std::make_unique<CDialog_OtherCommand>(*this, lang, tabs_);
    const int captions[] = {IDS_COM_CYCLE, IDS_NET_CYCLE, IDS_TEST, IDS_OTHERS};
    WithoutNotifications([&] {
        for (int index = 0; index < 4; ++index) {
            const QString caption = LoadString(lang, captions[index]);
            tabs_->addTab(Page(index), caption);
            Page(index)->setAccessibleName(caption);
        }
        tabs_->setCurrentIndex(0);
    });
    for (int index = 0; index < 4; ++index) {
        // The pages ask and tell through the same prompts as the window.
        Page(index)->SetPrompts(SharedPrompts());
        Page(index)->Create();
    }

    // Lay the window out once with the page area shown, then hold the receive box at that
    // width: showing and hiding the page area changes it by the tab control's width.
    adjustSize();
    LayOutNow();
    state_.tabClientRect = tabs_->rect();
    receive_->setFixedWidth(receive_->width());
    setFixedSize(size());
    LayOutNow();
}

}  // namespace quillon
