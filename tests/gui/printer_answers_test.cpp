// What the printer answers, in words, and the session log, with the window against the real
// virtual printer (quillon-printer on its pseudo-terminal, COM9), whose sensors the test
// changes through the printer itself; and against a pty with no printer behind it.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QComboBox>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <regex>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/printer/PrinterProcess.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/LoopbackPeers.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

// The lines of a session log without their time stamps.
std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines = FileLines(path);
    for (std::string& line : lines)
        line.erase(0, std::min<std::size_t>(24, line.size()));
    return lines;
}

class PrinterAnswersTest : public ::testing::Test {
  protected:
    PrinterAnswersTest()
        : mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports"),
          stateEnv_("XDG_STATE_HOME", root_.MakeDirs("state")),
          prompts_(std::make_shared<ScriptedPrompts>()) {}

    void StartPrinter() {
        printer_ =
            std::make_unique<PrinterProcess>(root_, RandomLoopbackAddress(), "--idle-ms 2000");
        ASSERT_FALSE(printer_->WaitForPort().empty()) << printer_->errors();
    }

    void OpenWindow(Language language = Language::English) {
        dialog_ = OpenMainWindow(language, prompts_);
        others_ = dialog_->Page(kOthersPage);
    }
    void OpenPort(const char* name) {
        auto* ports = dialog_->Item<QComboBox>(IDC_PORT);
        Choose(*dialog_, IDC_PORT, ports->findText(name));
        Click(*dialog_, IDC_OPEN_CLOSE);
        ASSERT_EQ(dialog_->state().port.open, 1) << ports->currentText().toStdString();
    }
    QString Line() const { return others_->ItemText(IDC_STATUS_LINE); }
    // Presses a button of the Others page and waits for the line to start with `words` and
    // end with the time.
    bool Answered(int button, const QString& words, std::chrono::milliseconds limit = 5s) {
        others_->SetItemText(IDC_STATUS_LINE, {});
        Click(*others_, button);
        return WaitForLine(words, limit);
    }
    bool WaitForLine(const QString& words, std::chrono::milliseconds limit = 5s) {
        // "words (10:42:07)", or "words（10:42:07）" in Chinese.
        static const QRegularExpression time(
            QString::fromUtf8("^(.*?)(?: \\(|（)\\d\\d:\\d\\d:\\d\\d[)）]$"));
        return SpinUntil(
            [&] {
                const auto m = time.match(Line());
                return m.hasMatch() && m.captured(1) == words;
            },
            limit);
    }
    void Send(const QString& text, bool hex) {
        dialog_->SetChecked(IDC_HEX_SEND, hex);
        dialog_->SetItemText(IDC_SEND_TEXT, text);
        Click(*dialog_, IDC_SEND);
    }
    std::string SessionFolder() const { return root_.path() + "/state/Quillon/sessions/"; }

    TempDir root_;
    ScopedEnv mapEnv_;
    ScopedEnv stateEnv_;
    std::shared_ptr<ScriptedPrompts> prompts_;
    std::unique_ptr<PrinterProcess> printer_;
    std::unique_ptr<CQuillonDlg> dialog_;
    CDialog* others_ = nullptr;
};

TEST_F(PrinterAnswersTest, StatusInEveryStateOfThePrinterAndWhoItIs) {
    StartPrinter();
    OpenWindow();
    EXPECT_FALSE(others_->IsItemEnabled(IDC_PRINTER_STATUS));
    EXPECT_FALSE(others_->IsItemEnabled(IDC_IDENTIFY));
    OpenPort("COM9");
    EXPECT_TRUE(others_->IsItemEnabled(IDC_PRINTER_STATUS));
    EXPECT_TRUE(others_->IsItemEnabled(IDC_IDENTIFY));

    const std::pair<const char*, const char*> states[] = {
        {"", "Online · cover closed · paper OK · drawer closed"},
        {"cover open", "Offline · cover open · paper OK · drawer closed"},
        {"cover closed", "Online · cover closed · paper OK · drawer closed"},
        {"near-end on", "Online · cover closed · paper near end · drawer closed"},
        {"paper out", "Offline · cover closed · paper out · drawer closed · stopped at paper end"},
        {"cover open", "Offline · cover open · paper out · drawer closed · stopped at paper end"},
        {"cover closed",
         "Offline · cover closed · paper out · drawer closed · stopped at paper end"},
        {"paper in", "Online · cover closed · paper near end · drawer closed"},
        {"drawer open", "Online · cover closed · paper near end · drawer open"},
    };
    std::uint32_t sent = 0;
    for (const auto& [change, words] : states) {
        if (*change) {
            ASSERT_TRUE(printer_->SetSensors(change)) << change;
        }
        EXPECT_TRUE(Answered(IDC_PRINTER_STATUS, QString::fromUtf8(words)))
            << change << ": " << Line().toStdString();
        sent += 12;  // DLE EOT 1, 2, 3 and 4 count as sent
        EXPECT_TRUE(SpinUntil([&] { return dialog_->state().send.transmitCount == sent; }));
    }
    // The answers stay in the receive area as what was received, and the tooltip has them.
    Click(*dialog_, IDC_HEX_SHOW);
    EXPECT_TRUE(dialog_->ItemText(IDC_RECEIVE).endsWith("16 12 12 1E 12 12 12 1E "))
        << dialog_->ItemText(IDC_RECEIVE).toStdString();
    EXPECT_TRUE(others_->GetDlgItem(IDC_STATUS_LINE)
                    ->toolTip()
                    .endsWith("DLE EOT 1: 12\nDLE EOT 2: 12\nDLE EOT 3: 12\nDLE EOT 4: 1E"))
        << others_->GetDlgItem(IDC_STATUS_LINE)->toolTip().toStdString();

    // While the printer is offline its identity waits in turn: nothing within the wait.
    ASSERT_TRUE(printer_->SetSensors("cover open"));
    EXPECT_TRUE(Answered(IDC_IDENTIFY, "No answer from the printer"));
    const std::uint32_t received = dialog_->state().receive.count;
    ASSERT_TRUE(printer_->SetSensors("cover closed"));
    // Back online it answers (52 bytes), too late: those answers are not taken for anyone
    // else's.
    EXPECT_TRUE(SpinUntil([&] { return dialog_->state().receive.count == received + 52; }));
    EXPECT_TRUE(
        Answered(IDC_PRINTER_STATUS,
                 QString::fromUtf8("Online · cover closed · paper near end · drawer open")));
    EXPECT_TRUE(Answered(IDC_IDENTIFY,
                         "Model 20, cutter, multi-byte characters, firmware 1.00, maker QUILLON, "
                         "QV-80T, serial QV0000001, fonts CHINA GB18030"))
        << Line().toStdString();
    EXPECT_TRUE(others_->GetDlgItem(IDC_STATUS_LINE)->toolTip().contains("GS I 67: QV-80T"));
}

TEST_F(PrinterAnswersTest, AutomaticStatusAndAModelTestShowAsTheyCome) {
    StartPrinter();
    OpenWindow(Language::Chinese);
    OpenPort("COM9");
    // A model test asks DLE EOT 1 to 4 near its end: the line follows its answers.
    ASSERT_TRUE(printer_->SetSensors("near-end on"));
    Click(*dialog_->Page(kTestPage), IDC_MODEL_BUTTON[0]);
    // One sender at a time: while the run goes, nothing else asks the printer anything.
    EXPECT_FALSE(others_->IsItemEnabled(IDC_PRINTER_STATUS));
    EXPECT_FALSE(others_->IsItemEnabled(IDC_IDENTIFY));
    EXPECT_TRUE(others_->IsItemEnabled(IDC_SESSION_LOG));
    dialog_->SendMessage(UM_PRINTER_COMMAND, 0, kStatusCommand);
    EXPECT_FALSE(dialog_->IsTimerRunning(kPrinterQueryTimer));
    EXPECT_TRUE(WaitForLine(QString::fromUtf8("联机 · 纸仓盖关闭 · 纸将用尽 · 钱箱关闭"), 20s))
        << Line().toStdString();
    EXPECT_TRUE(SpinUntil([&] { return !prompts_->boxes.empty(); }, 20s));  // "Test completed"

    // Automatic status on: the printer's state now (once it has got through the model test's
    // data to the request), then every change as it comes.
    Send("1D 61 FF", true);
    EXPECT_TRUE(SpinUntil(
        [&] {
            return others_->GetDlgItem(IDC_STATUS_LINE)->toolTip().endsWith("ASB: 14 00 03 00");
        },
        20s));
    EXPECT_TRUE(WaitForLine(QString::fromUtf8("联机 · 纸仓盖关闭 · 纸将用尽 · 钱箱关闭")));
    ASSERT_TRUE(printer_->SetSensors("cover open"));
    EXPECT_TRUE(WaitForLine(QString::fromUtf8("脱机 · 纸仓盖打开 · 纸将用尽 · 钱箱关闭")))
        << Line().toStdString();
    ASSERT_TRUE(printer_->SetSensors("drawer open"));
    EXPECT_TRUE(WaitForLine(QString::fromUtf8("脱机 · 纸仓盖打开 · 纸将用尽 · 钱箱打开")))
        << Line().toStdString();
    EXPECT_TRUE(others_->GetDlgItem(IDC_STATUS_LINE)
                    ->toolTip()
                    .startsWith(QString::fromUtf8("脱机 · 纸仓盖打开 · 纸将用尽 · 钱箱打开（")));
    EXPECT_TRUE(others_->GetDlgItem(IDC_STATUS_LINE)->toolTip().endsWith("ASB: 38 00 03 00"))
        << others_->GetDlgItem(IDC_STATUS_LINE)->toolTip().toStdString();
}

TEST_F(PrinterAnswersTest, TheSessionLogOfARunLineByLine) {
    StartPrinter();
    OpenWindow();
    const std::string job = root_.WriteFile("job.bin", std::string("\x1B@file\n", 7));
    OpenPort("COM9");
    const QString tip = dialog_->GetDlgItem(IDC_PORT_STATE)->toolTip();
    const QString prefix =
        QStringLiteral("\nSession log: ") + QString::fromStdString(SessionFolder());
    ASSERT_TRUE(tip.contains(prefix)) << tip.toStdString();
    const std::string path = tip.mid(tip.indexOf(prefix) + 14).toStdString();

    Send("Hello", false);
    Send("1B 40", true);
    dialog_->SetChecked(IDC_HEX_SEND, false);  // the file is bytes, not hex text
    prompts_->fileAnswers << QString::fromStdString(job);
    Click(*dialog_, IDC_BROWSE);
    Click(*dialog_, IDC_SEND_FILE);
    EXPECT_TRUE(SpinUntil([&] { return dialog_->state().send.transmitCount == 14; }));
    Send("10 04 01", true);
    EXPECT_TRUE(WaitForLine(QStringLiteral("Online · drawer closed")));
    // The printer dies (its line stays in the port map, so no device change comes between):
    // the next send fails, and the log says how.
    printer_->Kill();
    Send("Bye", false);
    EXPECT_TRUE(SpinUntil([&] { return !prompts_->boxes.empty(); }));
    Click(*dialog_, IDC_OPEN_CLOSE);
    EXPECT_TRUE(
        dialog_->GetDlgItem(IDC_PORT_STATE)
            ->toolTip()
            .endsWith(QStringLiteral("\nLast session log: ") + QString::fromStdString(path)));

    std::vector<std::string> lines;
    EXPECT_TRUE(SpinUntil([&] {
        lines = Lines(path);
        return !lines.empty() && lines.back() == "CLOSE";
    }));
    const std::vector<std::string> expected = {
        "OPEN COM9 9600,N,8,1, 0 DTR=1 RTS=1",
        "TX 5 48 65 6C 6C 6F |Hello|",
        "TX 2 1B 40 |.@|",
        "TX 7 1B 40 66 69 6C 65 0A |.@file.|",
        "TX 3 10 04 01 |...|",
        "RX 1 16 |.|",
        "STATUS Online · drawer closed",
        "TX 3 42 79 65 |Bye|",
        "TX-FAILED 0 of 3 bytes written: Input/output error",
        "CLOSE",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(std::regex_match(std::filesystem::path(path).filename().string(),
                                 std::regex(R"(\d{4}-\d\d-\d\d_\d{6}_COM9\.log)")));
}

TEST_F(PrinterAnswersTest, NoPrinterNoAnswerAndALogThatCannotBeWrittenLeavesThePortAlone) {
    PtyPair nobody;  // a port with no printer behind it
    root_.WriteFile("ports", "COM1=" + nobody.slavePath() + "\n");
    OpenWindow();
    // The session logs' folder is there to be shown before any session.
    EXPECT_TRUE(others_->IsItemEnabled(IDC_SESSION_LOG));
    Click(*others_, IDC_SESSION_LOG);
    EXPECT_EQ(prompts_->openedFolders, QStringList{QString::fromStdString(SessionFolder())});
    EXPECT_TRUE(std::filesystem::is_directory(SessionFolder()));

    // A disk that takes no more than the opening line.
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    OpenPort("COM1");
    EXPECT_TRUE(Answered(IDC_PRINTER_STATUS, "No answer from the printer", 3s));
    EXPECT_EQ(ReadFor(nobody.master(), 12, 5000),
              std::string("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04", 12));
    // The log said so once; the port goes on.
    EXPECT_TRUE(SpinUntil([&] { return prompts_->boxes.size() == 1; }));
    ASSERT_FALSE(prompts_->boxes.empty());
    EXPECT_TRUE(prompts_->boxes[0].text.startsWith("The session log cannot be written ("))
        << prompts_->boxes[0].text.toStdString();
    EXPECT_TRUE(prompts_->boxes[0].text.contains("File too large"));
    EXPECT_TRUE(
        dialog_->GetDlgItem(IDC_PORT_STATE)->toolTip().contains("Session log: not written"));
    Send("after", false);
    EXPECT_EQ(ReadFor(nobody.master(), 5, 5000), "after");
    // A second session that cannot be written either does not say it again.
    Click(*dialog_, IDC_OPEN_CLOSE);
    OpenPort("COM1");
    Send("more than the disk takes", false);
    EXPECT_TRUE(SpinUntil([&] {
        return dialog_->GetDlgItem(IDC_PORT_STATE)->toolTip().contains("Session log: not written");
    }));
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(prompts_->boxes.size(), 1u);
}

}  // namespace
