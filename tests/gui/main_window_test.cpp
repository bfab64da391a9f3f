// The main window after initialisation: title, defaults, texts in both languages, the
// pages in their start states, the port list.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <filesystem>

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "framework/IpAddressEdit.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

QStringList Entries(CDialog& dialog, int id) {
    QStringList entries;
    const auto* combo = dialog.Item<QComboBox>(id);
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}

// All 61 controls of dialog 148 exist, under their ids.
const int kMainControls[] = {1009, 1008, 1007, 1006, 1037, 1027, 1028, 1026, 1054, 1000, 1055,
                             1001, 1056, 1020, 1057, 1021, 1058, 1022, 1060, 1023, 1106, 1107,
                             1005, 1035, 1096, 1003, 1094, 1015, 1093, 1079, 1014, 1011, 1052,
                             1013, 1105, 1097, 1012, 1010, 1018, 1031, 1030, 1032, 1017, 1004,
                             1040, 1049, 1041, 1059, 1073, 1066, 1095, 1016};

TEST(MainWindowTest, EveryControlOfTheTableExists) {
    auto dialog = OpenMainWindow(Language::English);
    for (int id : kMainControls)
        EXPECT_NE(dialog->GetDlgItem(id), nullptr) << id;
    // The hidden box is there for its id but never shown.
    EXPECT_TRUE(dialog->GetDlgItem(IDC_AUTO_CLEAR)->isHidden());
    EXPECT_EQ(dialog->ItemText(IDC_AUTO_CLEAR), "Auto Clear");
}

TEST(MainWindowTest, TitleCarriesTheVersionWithOneDecimal) {
    EXPECT_EQ(OpenMainWindow(Language::English)->windowTitle(), "Quillon V6.4");
    // The Chinese title text ends in a blank.
    EXPECT_EQ(OpenMainWindow(Language::Chinese)->windowTitle(), "Quillon V6.4 ");
}

TEST(MainWindowTest, DefaultsOfInitialisation) {
    auto dialog = OpenMainWindow(Language::English);
    const QuillonDlgState& state = dialog->state();
    EXPECT_TRUE(dialog->IsChecked(IDC_HEX_SEND));
    EXPECT_FALSE(dialog->IsChecked(IDC_HEX_SHOW));
    EXPECT_EQ(dialog->ItemText(IDC_BAUD), "9600");
    EXPECT_EQ(dialog->ItemText(IDC_PARITY), "NONE");
    EXPECT_EQ(dialog->ItemText(IDC_DATA_BITS), "8");
    EXPECT_EQ(dialog->ItemText(IDC_STOP_BITS), "1");
    EXPECT_EQ(dialog->ItemText(IDC_FLOW), "NONE");
    EXPECT_TRUE(dialog->IsChecked(IDC_DTR));
    EXPECT_TRUE(dialog->IsChecked(IDC_RTS));
    EXPECT_EQ(dialog->ItemText(IDC_MULTIPLE), "NO");
    EXPECT_EQ(dialog->ItemText(IDC_NET_PORT), "9100");
    EXPECT_EQ(dialog->Item<IpAddressEdit>(IDC_IP_ADDRESS)->Address(), "192.168.1.114");
    EXPECT_EQ(dialog->ItemText(IDC_INTERVAL), "1000");
    EXPECT_EQ(dialog->ItemText(IDC_PORT_STATE), "Port closed.");
    EXPECT_EQ(dialog->ItemText(IDC_FILE_LABEL), "No File Selected.");
    EXPECT_EQ(dialog->ItemText(IDC_OPEN_CLOSE), "Open\nPort");
    EXPECT_EQ(dialog->ItemText(IDC_PAGE_AREA), "Hidden");
    EXPECT_EQ(dialog->ItemText(IDC_RX_COUNT), "RX:0");
    EXPECT_EQ(dialog->ItemText(IDC_TX_COUNT), "TX:0");
    EXPECT_TRUE(dialog->ItemText(IDC_SEND_TEXT).isEmpty());
    EXPECT_TRUE(dialog->ItemText(IDC_RECEIVE).isEmpty());
    EXPECT_EQ(dialog->focusWidget(), dialog->GetDlgItem(IDC_OPEN_CLOSE));

    EXPECT_EQ(state.port.baudRate, 9600);
    EXPECT_EQ(state.port.parity, 'N');
    EXPECT_EQ(state.port.lineEventMask, 57);
    EXPECT_EQ(state.timers.sendInterval, 1000);
    EXPECT_EQ(state.port.networkPort, 9100);
    EXPECT_EQ(state.port.open, 0);
    EXPECT_EQ(state.pageArea, 1);
    EXPECT_EQ(state.cyclePage, 1);
    EXPECT_EQ(state.alwaysOnTop, 0);
    EXPECT_EQ(state.send.selectedFile, "No File Selected.");

    // Icons: the closed-port icon is shown, the window has the application icon.
    const QPixmap shown = dialog->Item<QLabel>(IDC_PORT_ICON)->pixmap();
    EXPECT_EQ(shown.toImage(), state.port.closedIcon.toImage());
    EXPECT_NE(state.port.openIcon.toImage(), state.port.closedIcon.toImage());
    EXPECT_FALSE(dialog->windowIcon().isNull());
}

TEST(MainWindowTest, PortStateLineShowsAnOpenSerialPortWhole) {
    for (Language language : {Language::English, Language::Chinese}) {
        auto dialog = OpenMainWindow(language);
        const QString state =
            Format(LoadString(language, IDS_SERIAL_OPENED), {255, 115200, 'E', 8, 2}) +
            " CTS=1 DSR=1 RLSD=1";
        dialog->SetItemText(IDC_PORT_STATE, state);
        const auto* line = dialog->Item<QLabel>(IDC_PORT_STATE);
        EXPECT_GE(line->contentsRect().width(), line->fontMetrics().horizontalAdvance(state))
            << state.toStdString();
    }
}

TEST(MainWindowTest, SaveDirectoryIsTheProgramFolder) {
    auto dialog = OpenMainWindow(Language::English);
    const QString expected =
        QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").parent_path()) + "/";
    EXPECT_EQ(dialog->state().saveDirectory, expected);
    EXPECT_EQ(dialog->ItemText(IDC_SAVE_DIR), expected);
}

TEST(MainWindowTest, PortListHoldsTheNetworkEntryAlone) {
    for (Language language : {Language::English, Language::Chinese}) {
        auto dialog = OpenMainWindow(language);
        EXPECT_EQ(Entries(*dialog, IDC_PORT),
                  QStringList{language == Language::English ? "Ethernet" : "以太网"});
        EXPECT_EQ(dialog->CurSel(IDC_PORT), 0);
        EXPECT_EQ(dialog->state().port.kind, kPortNetwork);
    }
}

TEST(MainWindowTest, PortListInTheOrderOfKinds) {
    auto dialog = OpenMainWindow(Language::English);
    dialog->SetPortEntries({"COM1", "COM3"}, {"LPT1"},
                           {"/dev/usb/lp0#usb#vid_0483&pid_5720#1-2:1.0",
                            "/dev/usb/lp1#usb#vid_067b&pid_2305#1-3:1.0"});
    EXPECT_EQ(Entries(*dialog, IDC_PORT),
              (QStringList{"COM1", "COM3", "LPT1", "USB1", "USB2", "Ethernet"}));
    EXPECT_EQ(dialog->state().usbPaths.at(2), "/dev/usb/lp1#usb#vid_067b&pid_2305#1-3:1.0");
    const int kinds[] = {kPortSerial, kPortSerial, kPortParallel, kPortUsb, kPortUsb, kPortNetwork};
    for (int index = 5; index >= 0; --index) {
        Choose(*dialog, IDC_PORT, index);
        EXPECT_EQ(dialog->state().port.kind, kinds[index]) << index;
    }
}

TEST(MainWindowTest, ListEntriesInBothLanguages) {
    auto english = OpenMainWindow(Language::English);
    auto chinese = OpenMainWindow(Language::Chinese);
    for (CQuillonDlg* dialog : {english.get(), chinese.get()}) {
        EXPECT_EQ(Entries(*dialog, IDC_BAUD), (QStringList{"1200", "2400", "4800", "9600", "19200",
                                                           "38400", "57600", "115200"}));
        EXPECT_EQ(Entries(*dialog, IDC_PARITY), (QStringList{"NONE", "ODD", "EVEN"}));
        EXPECT_EQ(Entries(*dialog, IDC_DATA_BITS), (QStringList{"8", "7", "6"}));
        EXPECT_EQ(Entries(*dialog, IDC_STOP_BITS), (QStringList{"1", "2"}));
        EXPECT_EQ(Entries(*dialog, IDC_FLOW), (QStringList{"NONE", "XON/XOFF", "RTS/CTS"}));
        EXPECT_EQ(Entries(*dialog, IDC_NET_PORT), (QStringList{"80", "4000", "9100"}));
    }
    EXPECT_EQ(Entries(*english, IDC_MULTIPLE), (QStringList{"NO", "YES"}));
    EXPECT_EQ(Entries(*chinese, IDC_MULTIPLE), (QStringList{"否", "是"}));
}

struct TextCase {
    int id;
    const char* english;
    const char* chinese;
};

TEST(MainWindowTest, ControlTextsInBothLanguages) {
    const TextCase cases[] = {
        {IDC_PAUSE, "Pause", "暂停"},
        {IDC_CLEAR_RECEIVE, "Clear", "清空"},
        {IDC_HEX_SHOW, "HEX Show", "HEX显示"},
        {IDC_MODIFY_DIR, "Modify", "更改"},
        {IDC_SAVE, "Save", "保存"},
        {IDC_PORT_LABEL, "Port:", "端口:"},
        {IDC_BAUD_LABEL, "Baud Rate:", "波特率:"},
        {IDC_PARITY_LABEL, "Check:", "校验:"},
        {IDC_DATA_BITS_LABEL, "Data Bit:", "数据位:"},
        {IDC_STOP_BITS_LABEL, "Stop Bit:", "停止位:"},
        {IDC_FLOW_LABEL, "Flow Control:", "流控制:"},
        {IDC_DTR, "DTR", "DTR"},
        {IDC_OPEN_CLOSE, "Open\nPort", "打开\n端口"},
        {IDC_MULTIPLE_LABEL, "Multiple:", "多台循环:"},
        {IDC_NET_PORT_LABEL, "Port Num:", "端口号:"},
        {IDC_IP_LABEL, "IP Address:", "IP地址:"},
        {IDC_AUTO_SEND, "Auto Send", "自动发送"},
        {IDC_MS_LABEL, "MS", "MS"},
        {IDC_HEX_SEND, "HEX Send", "HEX发送"},
        {IDC_SEND_NEWLINE, "Send NewLine", "发送新行"},
        {IDC_CHINESE_MODE, "Chinese\nMode", "汉字模式"},
        {IDC_SEND, "Send", "发送"},
        {IDC_CLEAR_SEND, "Clear", "清空"},
        {IDC_BROWSE, "Browse", "选择"},
        {IDC_SEND_FILE, "Send", "发送"},
        {IDC_FILE_AUTO_SEND, "Auto Send", "自动发送"},
        {IDC_PORT_STATE, "Port closed.", "端口关闭！"},
        {IDC_FILE_LABEL, "No File Selected.", "未选择文件！"},
        {IDC_RECOUNT, "ReCount", "清零"},
        {IDC_PAGE_AREA, "Hidden", "隐藏"},
        {IDC_HELP, "Help", "帮助"},
        {IDC_PRINT_TEST, "Print Test", "打印测试"},
    };
    auto english = OpenMainWindow(Language::English);
    auto chinese = OpenMainWindow(Language::Chinese);
    for (const TextCase& c : cases) {
        EXPECT_EQ(english->ItemText(c.id), QString::fromUtf8(c.english)) << c.id;
        EXPECT_EQ(chinese->ItemText(c.id), QString::fromUtf8(c.chinese)) << c.id;
    }
    // The port number label shows only in the Chinese window.
    EXPECT_TRUE(english->GetDlgItem(IDC_NET_PORT_LABEL)->isHidden());
    EXPECT_FALSE(chinese->GetDlgItem(IDC_NET_PORT_LABEL)->isHidden());
}

TEST(MainWindowTest, TabCaptionsInOrder) {
    auto english = OpenMainWindow(Language::English);
    auto chinese = OpenMainWindow(Language::Chinese);
    const char* expected[2][4] = {{"Com Cycle", "Net Cycle", "Test", "Others"},
                                  {"串口循环", "网口循环", "测试", "其他"}};
    int row = 0;
    for (CQuillonDlg* dialog : {english.get(), chinese.get()}) {
        auto* tabs = dialog->Item<QTabWidget>(IDC_TABS);
        ASSERT_EQ(tabs->count(), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(expected[row][i]));
            EXPECT_EQ(tabs->widget(i), dialog->Page(i));
        }
        ++row;
    }
}

TEST(MainWindowTest, PagesStartDisabledWithTheirTexts) {
    auto english = OpenMainWindow(Language::English);
    auto chinese = OpenMainWindow(Language::Chinese);

    // The serial cycle list: three columns, check boxes, no rows without serial ports,
    // disabled; one template in both languages.
    for (CQuillonDlg* dialog : {english.get(), chinese.get()}) {
        auto* list = dialog->Page(0)->Item<QTableWidget>(IDC_COM_LIST);
        ASSERT_NE(list, nullptr);
        EXPECT_FALSE(list->isEnabled());
        EXPECT_EQ(list->rowCount(), 0);
        ASSERT_EQ(list->columnCount(), 3);
        EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "Index");
        EXPECT_EQ(list->horizontalHeaderItem(1)->text(), "COM");
        EXPECT_EQ(list->horizontalHeaderItem(2)->text(), "PARAM");
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);

        // The network rows: boxes "1" to "8", unticked and disabled, with their addresses.
        CDialog* net = dialog->Page(1);
        for (int row = 0; row < 8; ++row) {
            EXPECT_EQ(net->ItemText(IDC_NET_CHECK[row]), QString::number(row + 1));
            EXPECT_FALSE(net->IsChecked(IDC_NET_CHECK[row]));
            EXPECT_FALSE(net->IsItemEnabled(IDC_NET_CHECK[row]));
            EXPECT_FALSE(net->IsItemEnabled(IDC_NET_ADDRESS[row]));
            EXPECT_EQ(net->Item<IpAddressEdit>(IDC_NET_ADDRESS[row])->Address(),
                      QStringLiteral("192.168.1.%1").arg(111 + row));
        }
        for (int id : IDC_MODEL_BUTTON)
            EXPECT_FALSE(dialog->Page(2)->IsItemEnabled(id)) << id;
        EXPECT_FALSE(dialog->Page(3)->IsItemEnabled(IDC_CUT_PAPER));
        EXPECT_FALSE(dialog->Page(3)->IsItemEnabled(IDC_CASH_DRAWER));
    }
    const char* models[2][6] = {{"pos heat sensitive", "pos needle play", "portable thermal",
                                 "portable needle", "micro thermal", "micro needle"},
                                {"POS热敏机型", "POS针打机型", "便携热敏机型", "便携针打机型",
                                 "微打热敏机型", "微打针打机型"}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(english->Page(2)->ItemText(IDC_MODEL_BUTTON[i]), models[0][i]);
        EXPECT_EQ(chinese->Page(2)->ItemText(IDC_MODEL_BUTTON[i]), QString::fromUtf8(models[1][i]));
    }
    EXPECT_EQ(english->Page(3)->ItemText(IDC_CUT_PAPER), "Cut Paper");
    EXPECT_EQ(english->Page(3)->ItemText(IDC_CASH_DRAWER), "Open Cashbox");
    EXPECT_EQ(chinese->Page(3)->ItemText(IDC_CUT_PAPER), "切刀");
    EXPECT_EQ(chinese->Page(3)->ItemText(IDC_CASH_DRAWER), "开钱箱");
}

TEST(MainWindowTest, PageButtonsFollowTheOpenFlagMessages) {
    auto dialog = OpenMainWindow(Language::English);
    dialog->Page(2)->SendMessage(UM_ENABLE_TESTS, 0, 1);
    dialog->Page(3)->SendMessage(UM_ENABLE_COMMANDS, 0, 1);
    for (int id : IDC_MODEL_BUTTON)
        EXPECT_TRUE(dialog->Page(2)->IsItemEnabled(id));
    EXPECT_TRUE(dialog->Page(3)->IsItemEnabled(IDC_CASH_DRAWER));
    dialog->Page(2)->SendMessage(UM_ENABLE_TESTS, 0, 0);
    dialog->Page(3)->SendMessage(UM_ENABLE_COMMANDS, 0, 0);
    EXPECT_FALSE(dialog->Page(2)->IsItemEnabled(IDC_MODEL_BUTTON[5]));
    EXPECT_FALSE(dialog->Page(3)->IsItemEnabled(IDC_CUT_PAPER));
}

TEST(MainWindowTest, ReceiveBoxIsBlueOnWhiteAndTheSendBoxKeepsTheSystemColours) {
    auto dialog = OpenMainWindow(Language::English);
    const QPalette receive = dialog->GetDlgItem(IDC_RECEIVE)->palette();
    const QPalette send = dialog->GetDlgItem(IDC_SEND_TEXT)->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        EXPECT_EQ(receive.color(group, QPalette::Text), QColor(0, 0, 255));
        EXPECT_EQ(receive.color(group, QPalette::Base), QColor(255, 255, 255));
    }
    EXPECT_EQ(send.color(QPalette::Active, QPalette::Text),
              QApplication::palette().color(QPalette::Active, QPalette::Text));
}

TEST(MainWindowTest, ClosingEndsTheWindowAndEscapeDoesNot) {
    // Closing saves the settings: into a folder of this test's own.
    const TempDir config;
    const ScopedEnv configEnv("XDG_CONFIG_HOME", config.path());
    auto dialog = OpenMainWindow(Language::English);
    ASSERT_TRUE(dialog->isVisible());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &escape);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &enter);
    EXPECT_TRUE(dialog->isVisible());
    dialog->Item<QPlainTextEdit>(IDC_SEND_TEXT)->setPlainText("1B 40");
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), IDCANCEL);
    // The send text is kept for the mode it was typed in.
    EXPECT_EQ(dialog->state().send.hexSendText, "1B 40");
    EXPECT_EQ(dialog->state().send.lastSendText, "1B 40");
}

}  // namespace
