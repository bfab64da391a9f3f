// Which controls are usable: every combination of the inputs against the rules, and the
// situations a technician meets, driven through the window's own controls.

#include <gtest/gtest.h>

#include <QTableWidget>
#include <map>

#include "app/CQuillonDlg.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"

using namespace quillon;

namespace {

struct Inputs {
    bool open;
    int kind;
    int multi;
    bool autoTicked;  // text Auto Send running (flag and box)
    bool fileAutoTicked;
    bool serialTargets;
    bool networkTargets;
    bool rowSelected;
    bool cyclePage;
    bool area;
    bool hexSend;
    bool fileChosen;
};

std::string Describe(const Inputs& in) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "open=%d kind=%d multi=%d auto=%d fileAuto=%d serialT=%d netT=%d row=%d "
                  "cycle=%d area=%d hex=%d file=%d",
                  in.open, in.kind, in.multi, in.autoTicked, in.fileAutoTicked, in.serialTargets,
                  in.networkTargets, in.rowSelected, in.cyclePage, in.area, in.hexSend,
                  in.fileChosen);
    return text;
}

// The rules, written out control by control.
std::map<int, bool> Expected(const Inputs& in) {
    const bool targets = (in.networkTargets && in.kind == 4) || (in.serialTargets && in.kind == 1);
    const bool sendAllowed = !in.autoTicked && (in.open || targets);
    std::map<int, bool> e;
    e[IDC_PORT] = !in.open && !in.autoTicked;
    const bool serialLists =
        !in.open && in.kind == 1 && (in.multi == 0 || (in.multi == 1 && in.rowSelected));
    for (int id : {IDC_BAUD, IDC_PARITY, IDC_DATA_BITS, IDC_STOP_BITS, IDC_FLOW, IDC_DTR, IDC_RTS})
        e[id] = serialLists;
    e[IDC_NET_PORT] = e[IDC_PORT] && in.kind == 4;
    e[IDC_OPEN_CLOSE] = in.multi == 0;
    const bool sendBox =
        (in.open && !in.autoTicked) || (in.cyclePage && in.area && !in.autoTicked && in.multi == 1);
    e[IDC_SEND_TEXT] = sendBox;
    e[IDC_SEND] = sendAllowed;
    e[IDC_PRINT_TEST] = sendAllowed;
    e[IDC_CLEAR_SEND] = sendBox;
    e[IDC_HEX_SEND] = sendBox;
    e[IDC_AUTO_SEND] = in.open || targets || in.autoTicked;
    e[IDC_FILE_AUTO_SEND] = in.open || targets || in.fileAutoTicked;
    // The interval and Browse are held while either automatic send runs.
    e[IDC_INTERVAL] = !in.autoTicked && !in.fileAutoTicked && (in.open || targets);
    e[IDC_BROWSE] = in.open && !in.autoTicked && !in.fileAutoTicked;
    e[IDC_SEND_FILE] = e[IDC_BROWSE] && in.fileChosen;
    e[IDC_CHINESE_MODE] = sendBox && !in.hexSend;
    e[IDC_SEND_NEWLINE] = sendBox && !in.hexSend;
    e[IDC_IP_ADDRESS] = !in.open && in.kind == 4 && in.multi == 0;
    e[IDC_MULTIPLE] = !in.open && (in.kind == 1 || in.kind == 4) && !in.autoTicked;
    return e;
}

void Apply(CQuillonDlg& dialog, const Inputs& in) {
    QuillonDlgState& state = dialog.state();
    state.port.open = in.open;
    state.port.kind = in.kind;
    state.timers.autoSend = in.autoTicked;
    state.timers.fileAutoSend = in.fileAutoTicked;
    state.serialTargets = in.serialTargets;
    state.networkTargets = in.networkTargets;
    state.serialRowSelected = in.rowSelected;
    state.cyclePage = in.cyclePage;
    state.pageArea = in.area;
    state.send.selectedFile =
        in.fileChosen ? QStringLiteral("/tmp/job.txt") : LoadString(dialog.language(), IDS_NO_FILE);
    dialog.SetCurSel(IDC_MULTIPLE, in.multi);
    dialog.SetChecked(IDC_AUTO_SEND, in.autoTicked);
    dialog.SetChecked(IDC_FILE_AUTO_SEND, in.fileAutoTicked);
    dialog.SetChecked(IDC_HEX_SEND, in.hexSend);
    dialog.RefreshControlStates();
}

TEST(ControlStatesTest, EveryCombinationFollowsTheRules) {
    auto dialog = OpenMainWindow(Language::English);
    int combinations = 0;
    for (int bits = 0; bits < (1 << 11); ++bits) {
        for (int kind = 1; kind <= 4; ++kind) {
            auto bit = [bits](int n) { return ((bits >> n) & 1) != 0; };
            const Inputs in{bit(0), kind,   bit(1) ? 1 : 0, bit(2), bit(3), bit(4),
                            bit(5), bit(6), bit(7),         bit(8), bit(9), bit(10)};
            Apply(*dialog, in);
            for (const auto& [id, enabled] : Expected(in)) {
                ASSERT_EQ(dialog->IsItemEnabled(id), enabled)
                    << "control " << id << " with " << Describe(in);
            }
            ++combinations;
        }
    }
    EXPECT_EQ(combinations, 8192);
}

class ControlStatesUse : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog_ = OpenMainWindow(Language::English);
        dialog_->SetPortEntries({"COM1", "COM3"}, {"LPT1"},
                                {"/dev/usb/lp0#usb#vid_0483&pid_5720#1-2:1.0"});
        Choose(*dialog_, IDC_PORT, 0);  // COM1
    }
    bool On(int id) const { return dialog_->IsItemEnabled(id); }

    std::unique_ptr<CQuillonDlg> dialog_;
};

TEST_F(ControlStatesUse, ClosedSerialPortWithoutMultiple) {
    for (int id : {IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_DATA_BITS, IDC_STOP_BITS, IDC_FLOW, IDC_DTR,
                   IDC_RTS, IDC_MULTIPLE, IDC_OPEN_CLOSE})
        EXPECT_TRUE(On(id)) << id;
    for (int id : {IDC_SEND, IDC_PRINT_TEST, IDC_AUTO_SEND, IDC_FILE_AUTO_SEND, IDC_SEND_TEXT,
                   IDC_IP_ADDRESS, IDC_NET_PORT, IDC_BROWSE, IDC_SEND_FILE})
        EXPECT_FALSE(On(id)) << id;
}

TEST_F(ControlStatesUse, OpenPort) {
    dialog_->state().port.open = 1;
    dialog_->RefreshControlStates();
    for (int id : {IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_DATA_BITS, IDC_STOP_BITS, IDC_FLOW,
                   IDC_NET_PORT, IDC_IP_ADDRESS, IDC_MULTIPLE})
        EXPECT_FALSE(On(id)) << id;
    for (int id : {IDC_SEND, IDC_PRINT_TEST, IDC_SEND_TEXT, IDC_AUTO_SEND, IDC_FILE_AUTO_SEND,
                   IDC_BROWSE, IDC_INTERVAL})
        EXPECT_TRUE(On(id)) << id;
    // Running automatic sending locks the send box but not its own box.
    dialog_->SetChecked(IDC_AUTO_SEND, true);
    dialog_->state().timers.autoSend = 1;
    dialog_->RefreshControlStates();
    for (int id : {IDC_SEND_TEXT, IDC_SEND, IDC_PRINT_TEST, IDC_INTERVAL, IDC_BROWSE})
        EXPECT_FALSE(On(id)) << id;
    EXPECT_TRUE(On(IDC_AUTO_SEND));
}

TEST_F(ControlStatesUse, MultipleSerialSendsToTheTickedPorts) {
    Choose(*dialog_, IDC_MULTIPLE, 1);
    EXPECT_FALSE(On(IDC_OPEN_CLOSE));
    EXPECT_FALSE(On(IDC_SEND));
    EXPECT_FALSE(On(IDC_AUTO_SEND));
    EXPECT_FALSE(On(IDC_BAUD));
    // The Com Cycle page lists the serial ports and is usable now.
    auto* list = dialog_->Page(0)->Item<QTableWidget>(IDC_COM_LIST);
    ASSERT_TRUE(list->isEnabled());
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->item(1, 1)->text(), "COM3");
    EXPECT_EQ(list->item(1, 2)->text(), "9600,N,8,1");
    EXPECT_TRUE(On(IDC_SEND_TEXT));  // the page area shows the Com Cycle page

    list->item(1, 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(dialog_->state().serialTargets, 1);
    EXPECT_TRUE(On(IDC_SEND));
    EXPECT_TRUE(On(IDC_AUTO_SEND));
    EXPECT_TRUE(On(IDC_FILE_AUTO_SEND));
    EXPECT_FALSE(On(IDC_BAUD));

    list->selectRow(0);
    EXPECT_EQ(dialog_->state().serialRowSelected, 1);
    for (int id : {IDC_BAUD, IDC_PARITY, IDC_DATA_BITS, IDC_STOP_BITS, IDC_FLOW, IDC_DTR, IDC_RTS})
        EXPECT_TRUE(On(id)) << id;

    // Back to "NO": the page's targets no longer count.
    Choose(*dialog_, IDC_MULTIPLE, 0);
    EXPECT_EQ(dialog_->state().serialTargets, 0);
    EXPECT_FALSE(list->isEnabled());
    EXPECT_FALSE(On(IDC_SEND));
    EXPECT_TRUE(On(IDC_OPEN_CLOSE));
}

TEST_F(ControlStatesUse, MultipleNetworkSendsToTheTickedAddresses) {
    Choose(*dialog_, IDC_PORT, 4);  // Ethernet
    Choose(*dialog_, IDC_MULTIPLE, 1);
    EXPECT_EQ(dialog_->CurSel(IDC_TABS), 1);
    CDialog* net = dialog_->Page(1);
    EXPECT_TRUE(net->IsItemEnabled(IDC_NET_CHECK[1]));
    EXPECT_FALSE(net->IsItemEnabled(IDC_NET_ADDRESS[1]));
    EXPECT_FALSE(On(IDC_SEND));
    EXPECT_FALSE(On(IDC_IP_ADDRESS));
    Click(*net, IDC_NET_CHECK[1]);
    EXPECT_TRUE(net->IsItemEnabled(IDC_NET_ADDRESS[1]));
    EXPECT_FALSE(net->IsItemEnabled(IDC_NET_ADDRESS[0]));
    EXPECT_EQ(dialog_->state().networkTargets, 1);
    EXPECT_TRUE(On(IDC_SEND));
    // A serial entry does not send to network targets.
    Choose(*dialog_, IDC_PORT, 0);
    EXPECT_EQ(dialog_->state().networkTargets, 0);
    EXPECT_FALSE(net->IsItemEnabled(IDC_NET_CHECK[1]));
}

TEST_F(ControlStatesUse, ParallelAndUsbEntriesForceMultipleOff) {
    Choose(*dialog_, IDC_MULTIPLE, 1);
    dialog_->Page(0)->Item<QTableWidget>(IDC_COM_LIST)->item(0, 0)->setCheckState(Qt::Checked);
    ASSERT_EQ(dialog_->state().serialTargets, 1);
    for (int entry : {2, 3}) {
        Choose(*dialog_, IDC_PORT, entry);
        EXPECT_EQ(dialog_->CurSel(IDC_MULTIPLE), 0) << entry;
        EXPECT_EQ(dialog_->state().serialTargets, 0);
        EXPECT_EQ(dialog_->state().networkTargets, 0);
        EXPECT_FALSE(On(IDC_MULTIPLE));
        EXPECT_TRUE(On(IDC_OPEN_CLOSE));
        EXPECT_FALSE(On(IDC_BAUD));
        EXPECT_FALSE(On(IDC_IP_ADDRESS));
    }
}

TEST_F(ControlStatesUse, AddressOnlyForTheClosedNetworkEntryWithoutMultiple) {
    EXPECT_FALSE(On(IDC_IP_ADDRESS));
    Choose(*dialog_, IDC_PORT, 4);
    EXPECT_TRUE(On(IDC_IP_ADDRESS));
    EXPECT_TRUE(On(IDC_NET_PORT));
    Choose(*dialog_, IDC_MULTIPLE, 1);
    EXPECT_FALSE(On(IDC_IP_ADDRESS));
    Choose(*dialog_, IDC_MULTIPLE, 0);
    dialog_->state().port.open = 1;
    dialog_->RefreshControlStates();
    EXPECT_FALSE(On(IDC_IP_ADDRESS));
}

TEST_F(ControlStatesUse, TextOptionsOnlyWithoutHexSend) {
    dialog_->state().port.open = 1;
    dialog_->RefreshControlStates();
    EXPECT_FALSE(On(IDC_CHINESE_MODE));
    EXPECT_FALSE(On(IDC_SEND_NEWLINE));
    dialog_->SetChecked(IDC_HEX_SEND, false);
    dialog_->RefreshControlStates();
    EXPECT_TRUE(On(IDC_CHINESE_MODE));
    EXPECT_TRUE(On(IDC_SEND_NEWLINE));
}

}  // namespace
