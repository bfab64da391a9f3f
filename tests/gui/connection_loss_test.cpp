// Losing the open port: the USB printer unplugged, the network printer closing the
// connection. The port closes and the user is told; other device changes leave an open
// port alone, and the port list catches up once it closes.

#include <gtest/gtest.h>

#include <QComboBox>
#include <filesystem>

#include "app/CQuillonDlg.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

class ConnectionLossTest : public ::testing::Test {
  protected:
    ConnectionLossTest()
        : devEnv_("QUILLON_DEV_ROOT", root_.MakeDirs("dev")),
          sysEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP",
                  root_.WriteFile("ports", "COM1=" + com1_.slavePath() + "\n")) {
        PlugPrinter("lp0", "1-2", lp0_);
        PlugPrinter("lp1", "1-3", lp1_);
        dialog_ = OpenMainWindow(Language::English, prompts_);
    }
    ~ConnectionLossTest() override {
        if (dialog_->state().port.open)
            Click(*dialog_, IDC_OPEN_CLOSE);
    }

    void PlugPrinter(const std::string& name, const std::string& busPort, const PtyPair& node) {
        const std::string device = "sys/devices/usb1/" + busPort;
        const std::string interface = device + "/" + busPort + ":1.0";
        root_.MakeDirs(interface);
        root_.WriteFile(device + "/idVendor", "0416\n");
        root_.WriteFile(device + "/idProduct", "5011\n");
        LinkNode(root_.path() + "/sys/class/usbmisc/" + name + "/device",
                 root_.path() + "/" + interface);
        LinkNode(root_.path() + "/dev/usb/" + name, node.slavePath());
    }
    void UnplugPrinter(const std::string& name) {
        std::filesystem::remove_all(root_.path() + "/sys/class/usbmisc/" + name);
        std::filesystem::remove(root_.path() + "/dev/usb/" + name);
    }
    QStringList Entries() const {
        QStringList entries;
        const auto* combo = dialog_->Item<QComboBox>(IDC_PORT);
        for (int i = 0; i < combo->count(); ++i)
            entries << combo->itemText(i);
        return entries;
    }
    static void Settle() {
        SpinUntil([] { return false; }, std::chrono::milliseconds(700));
    }

    TempDir root_;
    PtyPair com1_;
    PtyPair lp0_;
    PtyPair lp1_;
    ScopedEnv devEnv_;
    ScopedEnv sysEnv_;
    ScopedEnv mapEnv_;
    std::shared_ptr<ScriptedPrompts> prompts_ = std::make_shared<ScriptedPrompts>();
    std::unique_ptr<CQuillonDlg> dialog_;
};

TEST_F(ConnectionLossTest, UnpluggingTheOpenUsbPrinterClosesThePortAndSaysSo) {
    ASSERT_EQ(Entries(), (QStringList{"COM1", "USB1", "USB2", "Ethernet"}));
    Choose(*dialog_, IDC_PORT, 2);  // USB2, the printer on lp1
    Click(*dialog_, IDC_OPEN_CLOSE);
    ASSERT_EQ(dialog_->state().port.open, 1);

    // Another printer going leaves the open port and the list alone.
    UnplugPrinter("lp0");
    Settle();
    EXPECT_EQ(dialog_->state().port.open, 1);
    EXPECT_EQ(Entries(), (QStringList{"COM1", "USB1", "USB2", "Ethernet"}));
    EXPECT_TRUE(prompts_->boxes.empty());

    UnplugPrinter("lp1");
    ASSERT_TRUE(SpinUntil([&] { return dialog_->state().port.open == 0; }));
    ASSERT_EQ(prompts_->boxes.size(), 1u);
    EXPECT_EQ(prompts_->boxes[0].text, "Connection has been broken!");
    EXPECT_EQ(Entries(), (QStringList{"COM1", "Ethernet"}));
    EXPECT_EQ(dialog_->ItemText(IDC_PORT_STATE), "Port closed.");
    EXPECT_EQ(dialog_->state().port.kind, kPortSerial);
}

TEST_F(ConnectionLossTest, DevicesThatChangeWhileASerialPortIsOpenShowOnceItCloses) {
    Click(*dialog_, IDC_OPEN_CLOSE);  // COM1
    ASSERT_EQ(dialog_->state().port.open, 1);
    UnplugPrinter("lp0");
    Settle();
    EXPECT_EQ(dialog_->state().port.open, 1);
    EXPECT_EQ(Entries(), (QStringList{"COM1", "USB1", "USB2", "Ethernet"}));
    Click(*dialog_, IDC_OPEN_CLOSE);
    EXPECT_EQ(Entries(), (QStringList{"COM1", "USB1", "Ethernet"}));
    EXPECT_EQ(dialog_->ItemText(IDC_PORT), "COM1");
    EXPECT_TRUE(prompts_->boxes.empty());
}

TEST_F(ConnectionLossTest, APeerThatClosesTheConnectionClosesAnOpenPortOnly) {
    dialog_->SendMessage(UM_NET_CLOSED);
    EXPECT_TRUE(prompts_->boxes.empty());
    Click(*dialog_, IDC_OPEN_CLOSE);
    ASSERT_EQ(dialog_->state().port.open, 1);
    dialog_->SendMessage(UM_NET_CLOSED);
    EXPECT_EQ(dialog_->state().port.open, 0);
    ASSERT_EQ(prompts_->boxes.size(), 1u);
    EXPECT_EQ(prompts_->boxes[0].text, "Connection has been broken!");
}

}  // namespace
