// The main window's port list filled from a fake device tree, with each entry's device
// as its tooltip, and the modem lines at the end of the port state line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>

#include "app/CQuillonDlg.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/FakeTtyLayer.h"
#include "transport/SerialLines.h"

using namespace quillon;

namespace {

QStringList Entries(CDialog& dialog) {
    QStringList entries;
    const auto* combo = dialog.Item<QComboBox>(IDC_PORT);
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}

QString Tip(CDialog& dialog, int index) {
    return dialog.Item<QComboBox>(IDC_PORT)->itemData(index, Qt::ToolTipRole).toString();
}

class PortListTest : public ::testing::Test {
  protected:
    PortListTest()
        : devEnv_("QUILLON_DEV_ROOT", root_.MakeDirs("dev")),
          sysEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports"),
          dialog_(OpenMainWindow(Language::English)) {}

    void AddUsbPrinter(const std::string& name, const std::string& busPort,
                       const std::string& vendor, const std::string& product) {
        const std::string device = "sys/devices/usb1/" + busPort;
        const std::string interface = device + "/" + busPort + ":1.0";
        root_.MakeDirs(interface);
        root_.WriteFile(device + "/idVendor", vendor + "\n");
        root_.WriteFile(device + "/idProduct", product + "\n");
        LinkNode(root_.path() + "/sys/class/usbmisc/" + name + "/device",
                 root_.path() + "/" + interface);
    }

    TempDir root_;
    ScopedEnv devEnv_;
    ScopedEnv sysEnv_;
    ScopedEnv mapEnv_;
    std::unique_ptr<CQuillonDlg> dialog_;
};

TEST_F(PortListTest, SerialAndUsbPortsThenEthernetWithTheirDevices) {
    root_.WriteFile("ports", "COM3=/dev/pts/31\nCOM1=/dev/pts/30\n");
    AddUsbPrinter("lp0", "1-2", "0483", "5720");
    AddUsbPrinter("lp1", "1-3", "067b", "2305");
    dialog_->FillPortList();
    EXPECT_EQ(Entries(*dialog_), (QStringList{"COM1", "COM3", "USB1", "USB2", "Ethernet"}));
    EXPECT_EQ(dialog_->CurSel(IDC_PORT), 0);
    const QuillonDlgState& state = dialog_->state();
    EXPECT_EQ(state.serialCount, 2);
    EXPECT_EQ(state.parallelCount, 0);
    EXPECT_EQ(state.usbCount, 2);
    EXPECT_EQ(state.serialPortNames, (QStringList{"COM1", "COM3"}));
    EXPECT_EQ(state.usbPaths.at(1), "/dev/usb/lp0#usb#vid_0483&pid_5720#1-2:1.0");
    EXPECT_EQ(state.usbPaths.at(2), "/dev/usb/lp1#usb#vid_067b&pid_2305#1-3:1.0");
    EXPECT_EQ(Tip(*dialog_, 0), "/dev/pts/30");
    EXPECT_EQ(Tip(*dialog_, 1), "/dev/pts/31");
    EXPECT_EQ(Tip(*dialog_, 2), "/dev/usb/lp0 (USB 0483:5720)");
    EXPECT_EQ(Tip(*dialog_, 3), "/dev/usb/lp1 (USB 067b:2305)");
    EXPECT_EQ(Tip(*dialog_, 4), "");
    const int kinds[] = {kPortSerial, kPortSerial, kPortUsb, kPortUsb, kPortNetwork};
    for (int index = 4; index >= 0; --index) {
        Choose(*dialog_, IDC_PORT, index);
        EXPECT_EQ(dialog_->state().port.kind, kinds[index]) << index;
    }
}

TEST_F(PortListTest, ParallelPortsSitBetweenSerialAndUsb) {
    root_.WriteFile("ports", "COM10=/dev/pts/40\nCOM9=/dev/pts/41\n");
    const std::string lp0 = root_.path() + "/dev/lp0";
    ASSERT_EQ(mkfifo(lp0.c_str(), 0600), 0);
    const int reader = open(lp0.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    AddUsbPrinter("lp0", "1-2", "0519", "0003");
    dialog_->FillPortList();
    EXPECT_EQ(Entries(*dialog_), (QStringList{"COM9", "COM10", "LPT1", "USB1", "Ethernet"}));
    EXPECT_EQ(Tip(*dialog_, 1), "/dev/pts/40");
    EXPECT_EQ(Tip(*dialog_, 2), QString::fromStdString(lp0));
    EXPECT_EQ(Tip(*dialog_, 3), "/dev/usb/lp0 (USB 0519:0003)");
    Choose(*dialog_, IDC_PORT, 2);
    EXPECT_EQ(dialog_->state().port.kind, kPortParallel);
    close(reader);
    // A refresh finds the parallel port gone and selects entry 0 again.
    dialog_->FillPortList();
    EXPECT_EQ(Entries(*dialog_), (QStringList{"COM9", "COM10", "USB1", "Ethernet"}));
    EXPECT_EQ(dialog_->CurSel(IDC_PORT), 0);
}

class LineStatusTest : public PortListTest {
  protected:
    LineStatusTest() : tty_(std::make_shared<FakeTtyLayer>()), ttyScope_(tty_) {
        root_.WriteFile("ports", "COM1=" + pty_.slavePath() + "\n");
    }
    void OpenCom1() {
        ASSERT_TRUE(dialog_->transport().OpenSerial(dialog_->Handle(), 1, 9600, 'N', 8, 1, 0,
                                                    dialog_->state().port.lineEventMask, 1, 1));
        // What the open operation shows for the port before the lines.
        dialog_->state().port.stateText =
            Format(LoadString(Language::English, IDS_SERIAL_OPENED), {1, 9600, 'N', 8, 1});
    }

    PtyPair pty_;
    std::shared_ptr<FakeTtyLayer> tty_;
    ScopedTtyLayer ttyScope_;
};

TEST_F(LineStatusTest, PrinterRaisingCtsAndDsrAndLosingItsCable) {
    tty_->SetInputLines(kLineCts | kLineDsr);
    OpenCom1();
    dialog_->ShowLineStatus();
    EXPECT_EQ(dialog_->ItemText(IDC_PORT_STATE), "COM1 OPENED,9600,N,8,1; CTS=1 DSR=1 RLSD=0");
    EXPECT_EQ(dialog_->transport().ctsOn, 1);
    EXPECT_EQ(dialog_->transport().dsrOn, 1);
    EXPECT_EQ(dialog_->transport().rlsdOn, 0);

    // The cable comes off: the line-event thread reports it and the window reads again.
    tty_->SetInputLines(0);
    EXPECT_TRUE(SpinUntil([&] {
        return dialog_->ItemText(IDC_PORT_STATE) == "COM1 OPENED,9600,N,8,1; CTS=0 DSR=0 RLSD=0";
    }));
    tty_->SetInputLines(kLineDcd);
    EXPECT_TRUE(SpinUntil([&] {
        return dialog_->ItemText(IDC_PORT_STATE) == "COM1 OPENED,9600,N,8,1; CTS=0 DSR=0 RLSD=1";
    }));
    dialog_->transport().Close();
    // Without a serial port the last values stay.
    tty_->SetInputLines(kLineCts);
    dialog_->ShowLineStatus();
    EXPECT_EQ(dialog_->state().port.modemLineText, " CTS=0 DSR=0 RLSD=1");
}

TEST_F(LineStatusTest, DeviceWithoutModemLinesShowsThemDown) {
    ScopedTtyLayer real(RealTtyLayer());
    dialog_->transport().ctsOn = 1;
    OpenCom1();
    dialog_->ShowLineStatus();
    EXPECT_EQ(dialog_->ItemText(IDC_PORT_STATE), "COM1 OPENED,9600,N,8,1; CTS=0 DSR=0 RLSD=0");
    dialog_->transport().Close();
}

}  // namespace
