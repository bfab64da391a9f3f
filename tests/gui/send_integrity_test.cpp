// Where sends meet: every byte the window sends reaches the printer whole and in order, or
// the user is told. The window is driven by its controls against a pty printer on COM3.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QTableWidget>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/CQuillonDlg.h"
#include "app/ModelTestFile.h"
#include "framework/Texts.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/FakeTtyLayer.h"

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string kPrintTest = "Print test OK!\r\n\r\n\r\n";
const std::string kCut("\x1D\x56\x42\x00", 4);
const std::string kDrawer("\x1B\x70\x00\x32\x32\x1B\x70\x01\x32\x32\x00", 11);
constexpr char kXoff = 0x13;
constexpr char kXon = 0x11;

// Answers every box at once, as ScriptedPrompts does, and runs `onBox` first, while the box
// would be up.
class WatchingPrompts : public ScriptedPrompts {
  public:
    int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                   unsigned type) override {
        if (onBox)
            onBox(text);
        return ScriptedPrompts::MessageBox(owner, text, caption, type);
    }
    std::function<void(const QString&)> onBox;
};

class SendIntegrityTest : public ::testing::Test {
  protected:
    SendIntegrityTest()
        : devEnv_("QUILLON_DEV_ROOT", root_.MakeDirs("dev")),
          sysEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports"),
          work_(root_.MakeDirs("work")) {
        root_.WriteFile("ports", "COM3=" + printer_.slavePath() + "\n");
        dialog_ = OpenMainWindow(Language::English, prompts_);
        // Text, not hex: the send box and the file go as they stand.
        dlg().SetChecked(IDC_HEX_SEND, false);
    }

    CQuillonDlg& dlg() { return *dialog_; }
    CDialog& page(int index) { return *dlg().Page(index); }

    void OpenCom3() {
        ASSERT_EQ(dlg().ItemText(IDC_PORT), "COM3");
        Click(dlg(), IDC_OPEN_CLOSE);
        ASSERT_EQ(dlg().state().port.open, 1);
    }
    void Type(const QString& text) { dlg().SetItemText(IDC_SEND_TEXT, text); }
    void ChooseFile(const std::string& path) {
        prompts_->fileAnswers << QString::fromStdString(path);
        Click(dlg(), IDC_BROWSE);
    }
    void WriteModelFile(int model, const std::string& content) {
        std::ofstream(work_ + "/" + ModelTestFileName(model).toStdString(), std::ios::binary)
            << content;
    }

    // What the printer got so far, without waiting.
    void Receive() {
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(printer_.master(), buffer, sizeof buffer);
            if (n <= 0)
                return;
            printed_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Runs the window, the printer reading, until done() holds or the limit passes.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
        return SpinUntil(
            [&] {
                Receive();
                return done();
            },
            limit);
    }
    // Runs the window for a while with the printer not reading.
    void Idle(std::chrono::milliseconds period) {
        SpinUntil([] { return false; }, period);
    }
    QStringList Boxes() const {
        QStringList texts;
        for (const auto& box : prompts_->boxes)
            texts << box.text;
        return texts;
    }
    bool BoxShown(const QString& text) const { return Boxes().contains(text); }
    QString Label() { return dlg().ItemText(IDC_FILE_LABEL); }

    // Every control that starts a send on the main window and its pages, with whether it
    // is usable now.
    std::vector<std::pair<int, bool>> SendStarters() {
        std::vector<std::pair<int, bool>> starters;
        for (int id : {IDC_SEND, IDC_PRINT_TEST, IDC_SEND_FILE, IDC_BROWSE})
            starters.emplace_back(id, dlg().IsItemEnabled(id));
        for (int id : {IDC_CUT_PAPER, IDC_CASH_DRAWER})
            starters.emplace_back(id, page(kOthersPage).IsItemEnabled(id));
        for (int id : IDC_MODEL_BUTTON)
            starters.emplace_back(id, page(kTestPage).IsItemEnabled(id));
        return starters;
    }
    bool NoSendCanStart() {
        for (const auto& [id, enabled] : SendStarters())
            if (enabled)
                return false;
        return true;
    }
    // Presses every send action as a user (or a page's message) would; all must be refused.
    void PressEverySendAction() {
        for (int id : {IDC_SEND, IDC_PRINT_TEST, IDC_SEND_FILE})
            Click(dlg(), id);
        Click(page(kOthersPage), IDC_CUT_PAPER);
        Click(page(kOthersPage), IDC_CASH_DRAWER);
        Click(page(kTestPage), IDC_MODEL_BUTTON[1]);
        // What arrives another way than a click is refused as well.
        dlg().SendMessage(UM_PRINTER_COMMAND, 0, 1);
        dlg().SendMessage(UM_MODEL_TEST, 0, 1);
    }

    TempDir root_;
    ScopedEnv devEnv_;
    ScopedEnv sysEnv_;
    ScopedEnv mapEnv_;
    std::string work_;
    ScopedCurrentFolder current_{work_};
    PtyPair printer_;
    std::shared_ptr<WatchingPrompts> prompts_ = std::make_shared<WatchingPrompts>();
    std::unique_ptr<CQuillonDlg> dialog_;
    std::string printed_;
};

// Every send action tried against a file send and a model test run, the file sent again
// by its Auto Send, and the plain sends after them: the printer gets each send's bytes whole
// and in order, nothing inside another.
TEST_F(SendIntegrityTest, EverySendActionWaitsForAFileSendAndAModelTestRun) {
    std::string model;
    std::string modelBytes;
    for (int line = 0; line < 50; ++line) {
        model += "1D 76 30 00 02 00 01 00 A5 5A\r\n";
        modelBytes += std::string("\x1D\x76\x30\x00\x02\x00\x01\x00\xA5\x5A", 10);
    }
    modelBytes += "\r\n\r\n";  // the closing feed
    WriteModelFile(0, model);
    const std::string file(4 << 20, 'F');
    root_.WriteFile("job.bin", file);
    OpenCom3();
    ChooseFile(root_.path() + "/job.bin");
    Type("SEND");
    dlg().SetItemText(IDC_INTERVAL, "1000");

    // The file goes again and again; the printer reads nothing yet, so the first send waits.
    Click(dlg(), IDC_FILE_AUTO_SEND);
    ASSERT_TRUE(dlg().state().send.fileJob.active());
    Idle(300ms);
    EXPECT_TRUE(NoSendCanStart());
    PressEverySendAction();
    // A report that names no block the window waits for (a piece of a send that has ended)
    // cannot count towards this file.
    const qsizetype written = dlg().state().send.fileJob.written();
    dlg().SendMessage(UM_TX_DONE, 4096, 0);
    EXPECT_EQ(dlg().state().send.fileJob.written(), written);
    // The printer reads: the file arrives alone.
    ASSERT_TRUE(RunUntil([&] { return Label() == "Send Completed."; }));
    ASSERT_EQ(printed_.size(), file.size());

    // Within the interval a model test run starts; the next file send falls due during it.
    Click(page(kTestPage), IDC_MODEL_BUTTON[0]);
    ASSERT_TRUE(RunUntil([&] { return printed_.size() > file.size() + 20; }));
    EXPECT_TRUE(NoSendCanStart());
    PressEverySendAction();
    // "Test completed" comes once the closing feed is out, with every sender still held.
    bool heldWhileShown = false;
    prompts_->onBox = [&](const QString& text) {
        if (text == "Test completed")
            heldWhileShown = NoSendCanStart();
    };
    ASSERT_TRUE(RunUntil([&] { return BoxShown("Test completed"); }));
    EXPECT_TRUE(heldWhileShown);
    // The file send that fell due goes after the run, not inside it.
    ASSERT_TRUE(RunUntil([&] { return printed_.size() >= 2 * file.size() + modelBytes.size(); }));
    ASSERT_TRUE(RunUntil([&] { return Label() == "Send Completed."; }));
    Click(dlg(), IDC_FILE_AUTO_SEND);
    ASSERT_FALSE(dlg().IsChecked(IDC_FILE_AUTO_SEND));

    // Then the plain sends, each whole.
    Click(dlg(), IDC_SEND);
    Click(dlg(), IDC_PRINT_TEST);
    Click(page(kOthersPage), IDC_CUT_PAPER);
    Click(page(kOthersPage), IDC_CASH_DRAWER);
    const std::string expected = file + modelBytes + file + "SEND" + kPrintTest + kCut + kDrawer;
    RunUntil([&] { return printed_.size() >= expected.size(); });
    Idle(200ms);
    Receive();
    ASSERT_EQ(printed_.size(), expected.size());
    EXPECT_TRUE(printed_ == expected) << "some send landed inside another";
    EXPECT_EQ(Boxes(), QStringList{"Test completed"});
}

// After a model test run (whose lines are not counted) a small file send completes: its
// reports are its own.
TEST_F(SendIntegrityTest, AFileSendAfterAModelTestRunCompletes) {
    WriteModelFile(3, "41\n\"B\"\n");
    root_.WriteFile("small.bin", "twelve bytes");
    OpenCom3();
    ChooseFile(root_.path() + "/small.bin");
    Click(page(kTestPage), IDC_MODEL_BUTTON[3]);
    ASSERT_TRUE(RunUntil([&] { return BoxShown("Test completed"); }));
    Click(dlg(), IDC_SEND_FILE);
    ASSERT_TRUE(RunUntil([&] { return Label() == "Send Completed."; }, 5s))
        << Label().toStdString();
    EXPECT_EQ(printed_, "A\"B\"\r\n\r\ntwelve bytes");
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_BROWSE));
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_SEND_FILE));
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_PRINT_TEST));
}

// A printer that holds the line (XOFF: a paper change) for longer than any time-out: the
// send waits, the state line says so and for how long, nothing is lost; "Test completed"
// waits for the held closing feed; and Close ends a wait at once.
TEST_F(SendIntegrityTest, AHeldLineIsWaitedOutShownAndEndedByClose) {
    Choose(dlg(), IDC_FLOW, 1);  // XON/XOFF
    OpenCom3();
    const QString opened = dlg().ItemText(IDC_PORT_STATE);
    printer_.WriteMaster(std::string(1, kXoff));
    Idle(100ms);
    const std::string text(60002, 't');
    Type(QString::fromStdString(text));
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Label(), "Sending...") << "nothing is complete while it waits";
    ASSERT_TRUE(SpinUntil([&] {
        return dlg().ItemText(IDC_PORT_STATE) ==
               opened + " Holding the line (CTS low / XOFF) for 4 s.";
    }));
    EXPECT_EQ(Label(), "Sending...");
    printer_.WriteMaster(std::string(1, kXon));
    ASSERT_TRUE(RunUntil([&] { return dlg().ItemText(IDC_TX_COUNT) == "TX:60002"; }));
    EXPECT_TRUE(printed_ == text) << printed_.size();
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), opened);
    EXPECT_EQ(Label(), "Send Completed.");

    // A model test run while the line is held: no "Test completed" until its closing feed
    // has gone out.
    WriteModelFile(2, "41\n42\n");
    printed_.clear();
    printer_.WriteMaster(std::string(1, kXoff));
    Idle(100ms);
    Click(page(kTestPage), IDC_MODEL_BUTTON[2]);
    Idle(1500ms);
    EXPECT_FALSE(BoxShown("Test completed"));
    printer_.WriteMaster(std::string(1, kXon));
    ASSERT_TRUE(RunUntil([&] { return BoxShown("Test completed"); }));
    EXPECT_EQ(printed_, "AB\r\n\r\n");

    // Held again: closing ends the wait at once, and the port opens again.
    printer_.WriteMaster(std::string(1, kXoff));
    Idle(100ms);
    Click(dlg(), IDC_SEND);
    ASSERT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_PORT_STATE).contains("Holding"); }));
    const auto before = Clock::now();
    Click(dlg(), IDC_OPEN_CLOSE);
    EXPECT_LT(Clock::now() - before, 1s);
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "Port closed.");
    Click(dlg(), IDC_OPEN_CLOSE);
    EXPECT_EQ(dlg().state().port.open, 1);
    EXPECT_EQ(Boxes(), QStringList{"Test completed"});
}

// The printer goes away under the open port (a USB adapter pulled out): the failed write
// says how far it came and why, and Auto Send stops.
TEST_F(SendIntegrityTest, AFailedWriteIsReportedAndStopsAutoSend) {
    OpenCom3();
    Type("ticket");
    dlg().SetItemText(IDC_INTERVAL, "100");
    Click(dlg(), IDC_AUTO_SEND);
    ASSERT_TRUE(RunUntil([&] { return printed_.size() >= 12; }));
    printer_.CloseMaster();
    ASSERT_TRUE(SpinUntil([&] { return !Boxes().isEmpty(); }));
    EXPECT_EQ(Boxes().value(0), "COM3: sending failed after 0 of 6 bytes: Input/output error");
    EXPECT_FALSE(dlg().IsChecked(IDC_AUTO_SEND));
    EXPECT_EQ(dlg().state().timers.autoSend, 0);
    EXPECT_NE(Label(), "Send Completed.");
    Idle(300ms);
    EXPECT_EQ(Boxes().size(), 1) << "no send goes on into the failing port";
}

// Multiple "YES" with COM3 ticked on the Com Cycle page and the port closed.
class CycleSendIntegrityTest : public SendIntegrityTest {
  protected:
    void TickCom3() {
        Choose(dlg(), IDC_MULTIPLE, 1);
        ASSERT_EQ(dlg().ItemText(IDC_MULTIPLE), "YES");
        auto* rows = list();
        ASSERT_EQ(rows->rowCount(), 1);
        rows->item(0, 0)->setCheckState(Qt::Checked);
        ASSERT_TRUE(dlg().IsItemEnabled(IDC_SEND));
    }
    QTableWidget* list() { return page(kComCyclePage).Item<QTableWidget>(IDC_COM_LIST); }
};

// Print Test goes to the ticked ports as Send does; a Send pressed during a repeating run
// sends its own data and the run goes on; a device change leaves the rows held.
TEST_F(CycleSendIntegrityTest, PressesDuringARunAreSentAndTheRunGoesOn) {
    TickCom3();
    ASSERT_TRUE(dlg().IsItemEnabled(IDC_PRINT_TEST));
    Click(dlg(), IDC_PRINT_TEST);
    ASSERT_TRUE(RunUntil([&] { return printed_.size() >= kPrintTest.size(); }));
    Idle(100ms);
    Receive();
    EXPECT_EQ(printed_, kPrintTest);
    EXPECT_NE(Label(), "Send Completed.");

    // The file "Auto Send" box runs the send text again and again.
    printed_.clear();
    Type("RUN;");
    dlg().SetItemText(IDC_INTERVAL, "300");
    Click(dlg(), IDC_FILE_AUTO_SEND);
    const std::regex record("--->current count is: [0-9]+, time is: [0-9:]+<---\nRUN;");
    auto records = [&] {
        return std::distance(std::sregex_iterator(printed_.begin(), printed_.end(), record),
                             std::sregex_iterator());
    };
    ASSERT_TRUE(RunUntil([&] { return records() >= 1; }));
    EXPECT_FALSE(list()->isEnabled());

    // A device comes: the rows stay held.
    dlg().SendMessage(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_FALSE(list()->isEnabled());
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_MULTIPLE));

    // Send with other text: it goes, between two passes, and the run goes on.
    ASSERT_TRUE(dlg().IsItemEnabled(IDC_SEND));
    Type("PRESS;");
    Click(dlg(), IDC_SEND);
    ASSERT_TRUE(RunUntil([&] { return printed_.find("PRESS;") != std::string::npos; }));
    const long before = records();
    ASSERT_TRUE(RunUntil([&] { return records() >= before + 2; }));
    EXPECT_TRUE(dlg().IsChecked(IDC_FILE_AUTO_SEND));
    Click(dlg(), IDC_FILE_AUTO_SEND);
    Idle(700ms);
    Receive();
    // Each pass whole: records and the press, nothing else, nothing cut.
    const std::string rest = std::regex_replace(printed_, record, "");
    EXPECT_EQ(rest, "PRESS;");
    EXPECT_TRUE(list()->isEnabled());
    EXPECT_TRUE(Boxes().isEmpty());
}

// Each row's flow choice is used; a port that takes nothing for too long is recorded in
// the day file with the count that went out.
TEST_F(CycleSendIntegrityTest, RowsKeepTheirFlowAndAStalledPortIsRecorded) {
    auto tty = std::make_shared<FakeTtyLayer>();
    ScopedTtyLayer ttyScope(tty);
    TickCom3();
    Type("x");
    Click(dlg(), IDC_SEND);
    ASSERT_TRUE(RunUntil([&] { return printed_ == "x"; }));
    ASSERT_FALSE(tty->Applied().empty());
    EXPECT_FALSE(tty->Applied().back().ctsFlow) << "the row says 9600,N,8,1: no flow control";
    EXPECT_FALSE(tty->Applied().back().xonXoff);

    // The printer reads nothing of a large send: the pass gives up and says how far it came.
    Type(QString(1 << 20, u'y'));
    Click(dlg(), IDC_SEND);
    ASSERT_TRUE(SpinUntil([&] { return !ReadDayFile().empty(); }, 20s));
    const std::regex recorded("COM3COM3 Send failed\\. [0-9]+ of 1048576 bytes went out\\.\r\n");
    EXPECT_TRUE(std::regex_match(ReadDayFile(), recorded)) << ReadDayFile();
}

}  // namespace
