// "Quillon.ini": what closing the window writes, what the next window makes of it, and
// files that are short, damaged, huge or cannot be written.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/CQuillonDlg.h"
#include "app/SettingsFile.h"
#include "framework/IpAddressEdit.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// The twelve lines of a file as this window writes them with its start-up defaults.
std::string DefaultLines(const std::string& port = "COM1", const std::string& pageArea = "1") {
    return port + "\r\n9600,N,8,1, 0\r\n192.168.1.114\r\n1\r\n0\r\n1000\r\n/saved/\r\n0\r\n0\r\n" +
           "1\r\n1\r\n" + pageArea + "\r\n";
}

class SettingsFileTest : public ::testing::Test {
  protected:
    SettingsFileTest()
        : configEnv_("XDG_CONFIG_HOME", home_.MakeDirs("config")),
          mapEnv_("QUILLON_PORT_MAP", home_.path() + "/ports"),
          file_(home_.path() + "/config/Quillon/Quillon.ini") {
        home_.WriteFile("ports", "COM1=/dev/pts/70\nCOM3=/dev/pts/71\n");
    }
    void WriteSettings(const std::string& content) {
        home_.WriteFile("config/Quillon/Quillon.ini", content);
    }
    std::unique_ptr<CQuillonDlg> Open() { return OpenMainWindow(Language::English, prompts_); }
    // Closes the window as its close box does.
    static void Close(std::unique_ptr<CQuillonDlg>& dialog) {
        dialog->SendMessage(WM_CLOSE);
        dialog.reset();
    }

    TempDir home_;
    ScopedEnv configEnv_;
    ScopedEnv mapEnv_;
    std::string file_;
    std::shared_ptr<ScriptedPrompts> prompts_ = std::make_shared<ScriptedPrompts>();
};

TEST_F(SettingsFileTest, ClosingWritesEveryLineAndTheNextWindowFindsThem) {
    auto dialog = Open();
    Choose(*dialog, IDC_PORT, 1);  // COM3
    Choose(*dialog, IDC_BAUD, 4);  // 19200
    Choose(*dialog, IDC_PARITY, 2);
    Choose(*dialog, IDC_DATA_BITS, 1);
    Choose(*dialog, IDC_STOP_BITS, 1);
    Choose(*dialog, IDC_FLOW, 2);
    dialog->Item<IpAddressEdit>(IDC_IP_ADDRESS)->SetAddress("127.0.0.5");
    Click(*dialog, IDC_HEX_SHOW);
    dialog->SetChecked(IDC_HEX_SEND, false);
    dialog->SetChecked(IDC_SEND_NEWLINE, true);
    dialog->SetChecked(IDC_CHINESE_MODE, true);
    Click(*dialog, IDC_DTR);
    Click(*dialog, IDC_PAGE_AREA);
    dialog->state().saveDirectory = "/home/tech/捕获/";
    dialog->state().send.hexSendText = "1B 40\r\n1D 56 42 00";
    // The send box holds the character text when the window closes.
    dialog->SetItemText(IDC_SEND_TEXT, "abc\ndef");
    Close(dialog);

    EXPECT_EQ(ReadAll(file_),
              "COM3\r\n19200,E,7,2, 2\r\n127.0.0.5\r\n0\r\n1\r\n1000\r\n"
              "/home/tech/\xE6\x8D\x95\xE8\x8E\xB7/\r\n1\r\n1\r\n0\r\n1\r\n0\r\n"
              "SendData_ASC\r\nabc\r\r\ndef\r\nSendData_HEX\r\n1B 40\r\r\n1D 56 42 00");

    dialog = Open();
    EXPECT_EQ(dialog->ItemText(IDC_PORT), "COM3");
    EXPECT_EQ(dialog->state().port.kind, kPortSerial);
    EXPECT_EQ(dialog->ItemText(IDC_BAUD), "19200");
    EXPECT_EQ(dialog->CurSel(IDC_PARITY), 2);
    EXPECT_EQ(dialog->ItemText(IDC_DATA_BITS), "7");
    EXPECT_EQ(dialog->ItemText(IDC_STOP_BITS), "2");
    EXPECT_EQ(dialog->CurSel(IDC_FLOW), 2);
    EXPECT_EQ(dialog->ItemText(IDC_IP_ADDRESS), "127.0.0.5");
    EXPECT_TRUE(dialog->IsChecked(IDC_HEX_SHOW));
    EXPECT_FALSE(dialog->IsChecked(IDC_HEX_SEND));
    EXPECT_TRUE(dialog->IsChecked(IDC_SEND_NEWLINE));
    EXPECT_TRUE(dialog->IsChecked(IDC_CHINESE_MODE));
    EXPECT_FALSE(dialog->IsChecked(IDC_DTR));
    EXPECT_TRUE(dialog->IsChecked(IDC_RTS));
    EXPECT_EQ(dialog->state().saveDirectory, "/home/tech/捕获/");
    EXPECT_EQ(dialog->ItemText(IDC_SAVE_DIR), "/home/tech/捕获/");
    EXPECT_EQ(dialog->state().send.charSendText, "abc\r\ndef");
    EXPECT_EQ(dialog->state().send.hexSendText, "1B 40\r\n1D 56 42 00");
    EXPECT_EQ(dialog->ItemText(IDC_SEND_TEXT), "abc\ndef");
    // The page area starts collapsed, and choosing Multiple "YES" brings it back with the
    // Com Cycle page.
    EXPECT_EQ(dialog->state().pageArea, 0);
    EXPECT_TRUE(dialog->GetDlgItem(IDC_TABS)->isHidden());
    Choose(*dialog, IDC_MULTIPLE, 1);
    EXPECT_EQ(dialog->state().pageArea, 1);
    EXPECT_FALSE(dialog->GetDlgItem(IDC_TABS)->isHidden());
    EXPECT_EQ(dialog->CurSel(IDC_TABS), kComCyclePage);
    EXPECT_TRUE(dialog->Page(kComCyclePage)->isVisible());
    EXPECT_TRUE(prompts_->boxes.empty());
}

TEST_F(SettingsFileTest, LinesThatMatchNothingLeaveTheDefaults) {
    // A port that is gone, a baud rate and flow index the lists lack, a parity letter
    // that is none of N, O, E, a broken address and interval, check boxes other than "1",
    // and a send text with a marker line of its own.
    WriteSettings(
        "COM7\r\n14400,X,5,1, 7\r\n999.1.1.1\r\nyes\r\n1\r\n12a\r\n\r\n1\r\n"
        "true\r\n0\r\n0\r\n1\r\nSendData_ASC\r\nfirst\r\r\nSendData_HEX\r\n"
        "second\r\nSendData_HEX\r\n1B 40");
    auto dialog = Open();
    EXPECT_EQ(dialog->CurSel(IDC_PORT), 0);
    EXPECT_EQ(dialog->ItemText(IDC_PORT), "COM1");
    EXPECT_EQ(dialog->ItemText(IDC_BAUD), "9600");
    EXPECT_EQ(dialog->CurSel(IDC_PARITY), 0);
    EXPECT_EQ(dialog->ItemText(IDC_DATA_BITS), "8");
    EXPECT_EQ(dialog->CurSel(IDC_FLOW), 0);
    EXPECT_EQ(dialog->ItemText(IDC_IP_ADDRESS), "192.168.1.114");
    EXPECT_FALSE(dialog->IsChecked(IDC_HEX_SEND));
    EXPECT_TRUE(dialog->IsChecked(IDC_HEX_SHOW));
    EXPECT_EQ(dialog->ItemText(IDC_INTERVAL), "1000");
    EXPECT_FALSE(dialog->IsChecked(IDC_CHINESE_MODE));
    EXPECT_FALSE(dialog->IsChecked(IDC_DTR));
    // An empty folder line: the program folder, as with no line at all.
    EXPECT_FALSE(dialog->state().saveDirectory.isEmpty());
    EXPECT_EQ(dialog->state().pageArea, 1);
    // Everything after the first hex marker belongs to the hex text, the second marker
    // included as a switch.
    EXPECT_EQ(dialog->state().send.charSendText, "first\r\n");
    EXPECT_EQ(dialog->state().send.hexSendText, "second1B 40");
}

TEST_F(SettingsFileTest, PageAreaStartsCollapsedExactlyWhenLineElevenIsThereAndNotOne) {
    const std::pair<std::string, int> cases[] = {
        {DefaultLines("COM1", "1"), 1},
        {DefaultLines("COM1", "0"), 0},
        {DefaultLines("COM1", "on"), 0},
        {DefaultLines().substr(0, DefaultLines().size() - 3), 1},  // no line 11
    };
    for (const auto& [content, shown] : cases) {
        WriteSettings(content);
        auto dialog = Open();
        EXPECT_EQ(dialog->state().pageArea, shown) << content;
        EXPECT_EQ(dialog->GetDlgItem(IDC_TABS)->isHidden(), shown == 0) << content;
    }
}

TEST_F(SettingsFileTest, DamagedFilesLoadWhatTheyCan) {
    // Cut off in the middle of line 1: what came before the cut is taken.
    WriteSettings("COM3\r\n19200,E,7");
    auto dialog = Open();
    EXPECT_EQ(dialog->ItemText(IDC_PORT), "COM3");
    EXPECT_EQ(dialog->ItemText(IDC_BAUD), "19200");
    EXPECT_EQ(dialog->CurSel(IDC_PARITY), 2);
    EXPECT_EQ(dialog->ItemText(IDC_DATA_BITS), "8");
    EXPECT_EQ(dialog->ItemText(IDC_IP_ADDRESS), "192.168.1.114");

    // Binary bytes.
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 37) & 0xFF);
    WriteSettings(binary);
    dialog = Open();
    EXPECT_EQ(dialog->ItemText(IDC_PORT), "COM1");
    EXPECT_EQ(dialog->ItemText(IDC_BAUD), "9600");

    // A send text that is not UTF-8 is read in the printers' code page, GB18030 for the
    // Chinese interface: "打印" is B4 F2 D3 A1.
    WriteSettings(DefaultLines() + "SendData_ASC\r\n\xB4\xF2\xD3\xA1\r\nSendData_HEX\r\n1B 40");
    dialog = OpenMainWindow(Language::Chinese, prompts_);
    EXPECT_EQ(dialog->state().send.charSendText, "打印");
    EXPECT_EQ(dialog->state().send.hexSendText, "1B 40");

    // Larger than anything this program writes: the part read is used, the rest is not.
    std::string huge = DefaultLines("COM3") + "SendData_ASC\r\n";
    huge.append(static_cast<std::size_t>(kMaxSettingsBytes), 'A');
    huge += "\r\nSendData_HEX\r\n1B 40";
    WriteSettings(huge);
    dialog = Open();
    EXPECT_EQ(dialog->ItemText(IDC_PORT), "COM3");
    EXPECT_TRUE(dialog->state().send.hexSendText.isEmpty());
    EXPECT_LE(dialog->state().send.charSendText.size(), kMaxSettingsBytes);
    EXPECT_TRUE(prompts_->boxes.empty());
}

TEST_F(SettingsFileTest, WithoutAConfigFolderTheCurrentFolderIsUsed) {
    // A config "folder" that is a file: no folder can be made in it.
    const std::string notAFolder = home_.WriteFile("plain-file", "x");
    ScopedEnv config("XDG_CONFIG_HOME", notAFolder);
    const TempDir work;
    const std::string before = std::filesystem::current_path().string();
    std::filesystem::current_path(work.path());
    auto dialog = Open();
    Choose(*dialog, IDC_PORT, 1);
    Close(dialog);
    EXPECT_EQ(ReadAll(work.path() + "/Quillon.ini").substr(0, 6), "COM3\r\n");
    dialog = Open();
    EXPECT_EQ(dialog->ItemText(IDC_PORT), "COM3");
    dialog.reset();
    std::filesystem::current_path(before);
}

TEST_F(SettingsFileTest, AWriteThatFailsKeepsTheOldFileAndSaysSo) {
    const std::string old = DefaultLines("COM3") + "SendData_ASC\r\nkept\r\nSendData_HEX\r\n";
    WriteSettings(old);
    auto dialog = Open();
    dialog->state().send.charSendText = QString(4000, u'x');  // longer than the old file
    dialog->SetChecked(IDC_HEX_SEND, true);

    // A full disk: writes beyond this size fail with EFBIG instead of killing the process.
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small = {static_cast<rlim_t>(old.size()), limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Close(dialog);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(ReadAll(file_), old);
    ASSERT_EQ(prompts_->boxes.size(), 1u);
    EXPECT_TRUE(prompts_->boxes[0].text.contains(QString::fromStdString(file_)))
        << prompts_->boxes[0].text.toStdString();
    // Nothing half-written is left beside it.
    EXPECT_EQ(QDir(QString::fromStdString(home_.path() + "/config/Quillon"))
                  .entryList(QDir::Files | QDir::Hidden),
              QStringList{"Quillon.ini"});

    // A folder that cannot be written to (root may write anywhere, so only as a user).
    if (geteuid() != 0) {
        const std::string folder = home_.path() + "/config/Quillon";
        ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
        dialog = Open();
        Close(dialog);
        chmod(folder.c_str(), 0755);
        EXPECT_EQ(ReadAll(file_), old);
        EXPECT_EQ(prompts_->boxes.size(), 2u);
    }
}

}  // namespace
