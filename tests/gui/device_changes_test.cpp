// Devices coming and going under a fake device tree while the window runs: the port list
// follows them, one refresh per burst, and keeps the entry the user had chosen.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <filesystem>

#include "app/CQuillonDlg.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

class DeviceChangesTest : public ::testing::Test {
  protected:
    DeviceChangesTest()
        : devEnv_("QUILLON_DEV_ROOT", root_.MakeDirs("dev")),
          sysEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports") {
        root_.WriteFile("ports", "COM1=" + com1_.slavePath() + "\n");
        dialog_ = OpenMainWindow(Language::English, prompts_);
        // Every refill empties the list first.
        QObject::connect(dialog_->Item<QComboBox>(IDC_PORT)->model(),
                         &QAbstractItemModel::rowsRemoved, [this] { ++refills_; });
    }

    // What the kernel makes for a USB printer: its sysfs entry, then its node.
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
    bool WaitForEntries(const QStringList& expected) {
        return SpinUntil([&] { return Entries() == expected; });
    }
    // Lets a burst settle, so that a second refresh would have come by now.
    static void Settle() {
        SpinUntil([] { return false; }, std::chrono::milliseconds(600));
    }

    TempDir root_;
    ScopedEnv devEnv_;
    ScopedEnv sysEnv_;
    ScopedEnv mapEnv_;
    PtyPair com1_;
    PtyPair com5_;
    PtyPair lp0_;
    PtyPair lp1_;
    std::shared_ptr<ScriptedPrompts> prompts_ = std::make_shared<ScriptedPrompts>();
    std::unique_ptr<CQuillonDlg> dialog_;
    int refills_ = 0;
};

TEST_F(DeviceChangesTest, ThePortListFollowsDevicesAndKeepsTheChosenEntry) {
    ASSERT_EQ(Entries(), (QStringList{"COM1", "Ethernet"}));

    // A USB printer plugged in while COM1 is chosen: one refresh, COM1 stays chosen.
    PlugPrinter("lp0", "1-2", lp0_);
    ASSERT_TRUE(WaitForEntries({"COM1", "USB1", "Ethernet"})) << Entries().join(u',').toStdString();
    Settle();
    EXPECT_EQ(refills_, 1);
    EXPECT_EQ(dialog_->ItemText(IDC_PORT), "COM1");
    EXPECT_EQ(dialog_->state().port.kind, kPortSerial);

    // A pseudo-terminal registered in the port map while the program runs.
    root_.WriteFile("ports", "COM1=" + com1_.slavePath() + "\nCOM5=" + com5_.slavePath() + "\n");
    ASSERT_TRUE(WaitForEntries({"COM1", "COM5", "USB1", "Ethernet"}));
    EXPECT_EQ(dialog_->ItemText(IDC_PORT), "COM1");
    EXPECT_EQ(dialog_->state().serialPortNames, (QStringList{"COM1", "COM5"}));

    // The chosen USB printer stays chosen when another one comes.
    Choose(*dialog_, IDC_PORT, 2);
    ASSERT_EQ(dialog_->state().port.kind, kPortUsb);
    PlugPrinter("lp1", "1-3", lp1_);
    ASSERT_TRUE(WaitForEntries({"COM1", "COM5", "USB1", "USB2", "Ethernet"}));
    EXPECT_EQ(dialog_->CurSel(IDC_PORT), 2);

    // When it goes, the other printer takes its label; the choice does not follow the
    // label to the other printer but goes back to the first entry, and the port kind
    // follows the entry now chosen.
    UnplugPrinter("lp0");
    ASSERT_TRUE(WaitForEntries({"COM1", "COM5", "USB1", "Ethernet"}));
    EXPECT_TRUE(dialog_->state().usbPaths.at(1).startsWith("/dev/usb/lp1#"));
    EXPECT_EQ(dialog_->CurSel(IDC_PORT), 0);
    EXPECT_EQ(dialog_->state().port.kind, kPortSerial);

    // A port map entry that goes away takes its port with it.
    root_.WriteFile("ports", "COM1=" + com1_.slavePath() + "\n");
    ASSERT_TRUE(WaitForEntries({"COM1", "USB1", "Ethernet"}));
    EXPECT_TRUE(prompts_->boxes.empty());
}

}  // namespace
