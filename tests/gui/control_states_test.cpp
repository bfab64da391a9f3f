// Which controls are usable: a table of the situations a technician meets (port kind,
// Multiple, port open, the automatic sends running) with the controls the rules leave
// usable in each, and the situations worked through the window's own controls.

#include <gtest/gtest.h>

#include <QTableWidget>
#include <initializer_list>
#include <string>

#include "app/CQuillonDlg.h"
#include "app/MultipleChoice.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"

using namespace quillon;

namespace {

// The controls, in the groups a user sees them in.
enum Group : unsigned {
    kPortList = 1u << 0,        // the port list
    kSerialSettings = 1u << 1,  // baud rate, parity, data and stop bits, flow, DTR, RTS
    kNetworkPort = 1u << 2,     // the network port list
    kAddress = 1u << 3,         // the IP address
    kMultiple = 1u << 4,        // the Multiple list
    kOpenClose = 1u << 5,       // Open/Close
    kSendBox = 1u << 6,         // the send box with its Clear and HEX Send
    kSendNow = 1u << 7,         // Send and Print Test
    kTextAuto = 1u << 8,        // the text Auto Send box
    kFileAuto = 1u << 9,        // the file Auto Send box
    kInterval = 1u << 10,       // the send interval
    kBrowse = 1u << 11,         // Browse
};

struct GroupControls {
    Group group;
    const char* name;
    std::initializer_list<int> ids;
};

const GroupControls kGroups[] = {
    {kPortList, "port list", {IDC_PORT}},
    {kSerialSettings,
     "serial settings",
     {IDC_BAUD, IDC_PARITY, IDC_DATA_BITS, IDC_STOP_BITS, IDC_FLOW, IDC_DTR, IDC_RTS}},
    {kNetworkPort, "network port", {IDC_NET_PORT}},
    {kAddress, "IP address", {IDC_IP_ADDRESS}},
    {kMultiple, "Multiple", {IDC_MULTIPLE}},
    {kOpenClose, "Open/Close", {IDC_OPEN_CLOSE}},
    {kSendBox, "send box", {IDC_SEND_TEXT, IDC_CLEAR_SEND, IDC_HEX_SEND}},
    {kSendNow, "Send and Print Test", {IDC_SEND, IDC_PRINT_TEST}},
    {kTextAuto, "text Auto Send", {IDC_AUTO_SEND}},
    {kFileAuto, "file Auto Send", {IDC_FILE_AUTO_SEND}},
    {kInterval, "interval", {IDC_INTERVAL}},
    {kBrowse, "Browse", {IDC_BROWSE}},
};

// Port list entries of the test window.
constexpr int kSerialEntry = 0;  // COM1
constexpr int kParallelEntry = 2;
constexpr int kUsbEntry = 3;
constexpr int kNetworkEntry = 4;

enum Running { kNothingRuns, kTextAutoRuns, kFileAutoRuns };

struct Situation {
    const char* what;
    int entry;
    bool multiple;       // Multiple "YES"
    bool open;           // the port is open
    bool targetTicked;   // a port or address is ticked on the cycle page
    bool rowSelected;    // a row of the Com Cycle list is selected
    bool testPageShown;  // the user went to the Test page
    Running running;
    unsigned usable;
};

const Situation kSituations[] = {
    {"closed serial port", kSerialEntry, false, false, false, false, false, kNothingRuns,
     kPortList | kSerialSettings | kMultiple | kOpenClose},
    {"open serial port", kSerialEntry, false, true, false, false, false, kNothingRuns,
     kOpenClose | kSendBox | kSendNow | kTextAuto | kFileAuto | kInterval | kBrowse},
    {"open serial port, text sent again and again", kSerialEntry, false, true, false, false, false,
     kTextAutoRuns, kOpenClose | kTextAuto | kFileAuto},
    {"open serial port, file sent again and again", kSerialEntry, false, true, false, false, false,
     kFileAutoRuns, kOpenClose | kSendBox | kSendNow | kTextAuto | kFileAuto},
    {"serial, Multiple YES, nothing ticked", kSerialEntry, true, false, false, false, false,
     kNothingRuns, kPortList | kMultiple | kSendBox},
    {"serial, Multiple YES, a port ticked", kSerialEntry, true, false, true, false, false,
     kNothingRuns, kPortList | kMultiple | kSendBox | kSendNow | kTextAuto | kFileAuto | kInterval},
    {"serial, Multiple YES, a port ticked and a row selected", kSerialEntry, true, false, true,
     true, false, kNothingRuns,
     kPortList | kSerialSettings | kMultiple | kSendBox | kSendNow | kTextAuto | kFileAuto |
         kInterval},
    {"serial, Multiple YES, a port ticked, the Test page shown", kSerialEntry, true, false, true,
     false, true, kNothingRuns,
     kPortList | kMultiple | kSendNow | kTextAuto | kFileAuto | kInterval},
    {"serial, Multiple YES, a cycle run going", kSerialEntry, true, false, true, false, false,
     kTextAutoRuns, kTextAuto | kFileAuto},
    {"closed network entry", kNetworkEntry, false, false, false, false, false, kNothingRuns,
     kPortList | kNetworkPort | kAddress | kMultiple | kOpenClose},
    {"open network connection", kNetworkEntry, false, true, false, false, false, kNothingRuns,
     kOpenClose | kSendBox | kSendNow | kTextAuto | kFileAuto | kInterval | kBrowse},
    {"network, Multiple YES, nothing ticked", kNetworkEntry, true, false, false, false, false,
     kNothingRuns, kPortList | kNetworkPort | kMultiple | kSendBox},
    {"network, Multiple YES, an address ticked", kNetworkEntry, true, false, true, false, false,
     kNothingRuns,
     kPortList | kNetworkPort | kMultiple | kSendBox | kSendNow | kTextAuto | kFileAuto |
         kInterval},
    {"closed parallel port", kParallelEntry, false, false, false, false, false, kNothingRuns,
     kPortList | kOpenClose},
    {"open parallel port", kParallelEntry, false, true, false, false, false, kNothingRuns,
     kOpenClose | kSendBox | kSendNow | kTextAuto | kFileAuto | kInterval | kBrowse},
    {"closed USB printer", kUsbEntry, false, false, false, false, false, kNothingRuns,
     kPortList | kOpenClose},
};

std::unique_ptr<CQuillonDlg> WindowIn(const Situation& s) {
    auto dialog = OpenMainWindow(Language::English);
    dialog->SetPortEntries({"COM1", "COM3"}, {"LPT1"},
                           {"/dev/usb/lp0#usb#vid_0483&pid_5720#1-2:1.0"});
    Choose(*dialog, IDC_PORT, s.entry);
    if (s.multiple)
        Choose(*dialog, IDC_MULTIPLE, kMultipleYes);
    if (s.targetTicked && s.entry == kNetworkEntry)
        Click(*dialog->Page(kNetCyclePage), IDC_NET_CHECK[0]);
    auto* list = dialog->Page(kComCyclePage)->Item<QTableWidget>(IDC_COM_LIST);
    if (s.targetTicked && s.entry == kSerialEntry)
        list->item(0, 0)->setCheckState(Qt::Checked);
    if (s.rowSelected)
        list->selectRow(0);
    if (s.testPageShown)
        ChooseTab(*dialog, IDC_TABS, kTestPage);
    // Opening and the automatic sends stand in as the state they leave behind.
    dialog->state().port.open = s.open ? 1 : 0;
    if (s.running == kTextAutoRuns) {
        dialog->SetChecked(IDC_AUTO_SEND, true);
        dialog->state().timers.autoSend = 1;
    } else if (s.running == kFileAutoRuns) {
        dialog->SetChecked(IDC_FILE_AUTO_SEND, true);
        dialog->state().timers.fileAutoSend = 1;
    }
    dialog->RefreshControlStates();
    return dialog;
}

TEST(ControlStatesTest, EachSituationLeavesUsableWhatTheRulesSay) {
    for (const Situation& s : kSituations) {
        SCOPED_TRACE(s.what);
        const auto dialog = WindowIn(s);
        for (const GroupControls& group : kGroups) {
            const bool usable = (s.usable & group.group) != 0;
            for (int id : group.ids)
                EXPECT_EQ(dialog->IsItemEnabled(id), usable) << group.name << " (" << id << ")";
        }
        // A file can only be sent once one is chosen.
        EXPECT_FALSE(dialog->IsItemEnabled(IDC_SEND_FILE));
    }
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
