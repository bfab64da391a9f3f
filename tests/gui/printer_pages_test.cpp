// The printer pages against a pty printer on COM1: the print test, cut paper and the cash
// drawer, and model test files run line by line from the event loop.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <QComboBox>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "app/ModelTestFile.h"
#include "framework/Texts.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"
#include "transport/Conversions.h"
#include "transport/platform/Folders.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

const QString kOpenDataFileError = QString::fromUtf8("open data file error！");

class PrinterPagesTest : public ::testing::Test {
  protected:
    PrinterPagesTest()
        : mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports"),
          work_(root_.MakeDirs("work")),
          prompts_(std::make_shared<ScriptedPrompts>()) {
        root_.WriteFile("ports", "COM1=" + pty_.slavePath() + "\n");
    }

    void OpenWindow(Language language = Language::English) {
        dialog_ = OpenMainWindow(language, prompts_);
        test_ = dialog_->Page(kTestPage);
        others_ = dialog_->Page(kOthersPage);
    }

    // Chooses COM1 and presses Open Port, as a user would; the pages learn of it from the window.
    void OpenPort() {
        auto* ports = dialog_->Item<QComboBox>(IDC_PORT);
        ASSERT_NE(ports, nullptr);
        Choose(*dialog_, IDC_PORT, ports->findText("COM1"));
        ASSERT_EQ(dialog_->ItemText(IDC_PORT), "COM1");
        Click(*dialog_, IDC_OPEN_CLOSE);
        ASSERT_EQ(dialog_->state().port.open, 1) << BoxTexts().join(u'|').toStdString();
    }
    void ClosePort() {
        Click(*dialog_, IDC_OPEN_CLOSE);
        ASSERT_EQ(dialog_->state().port.open, 0);
    }

    // What the printer got while the window ran until done(), and for a moment after; done
    // may look at received_, what came so far.
    std::string Printed(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
        SpinUntil(
            [&] {
                Receive();
                return done();
            },
            limit);
        const auto quietUntil = std::chrono::steady_clock::now() + 200ms;
        SpinUntil([&] {
            Receive();
            return std::chrono::steady_clock::now() >= quietUntil;
        });
        return std::exchange(received_, {});
    }
    std::string PrintedBytes(std::size_t count) {
        return Printed([&] { return received_.size() >= count; }, 10s);
    }
    void Receive() {
        pollfd fd{pty_.master(), POLLIN, 0};
        char buffer[4096];
        while (poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN)) {
            const ssize_t n = read(pty_.master(), buffer, sizeof buffer);
            if (n <= 0)
                break;
            received_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    bool Completed() const {
        for (const auto& box : prompts_->boxes)
            if (box.text == LoadString(dialog_->language(), IDS_TEST_COMPLETED))
                return true;
        return false;
    }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& box : prompts_->boxes)
            texts << box.text;
        return texts;
    }
    bool TestButtonsEnabled() const {
        for (int id : IDC_MODEL_BUTTON)
            if (!test_->IsItemEnabled(id))
                return false;
        return true;
    }
    void WriteModelFile(int model, const std::string& content) {
        std::ofstream(work_ + "/" + ModelTestFileName(model).toStdString(), std::ios::binary)
            << content;
    }

    TempDir root_;
    ScopedEnv mapEnv_;
    std::string work_;
    ScopedCurrentFolder current_{work_};
    PtyPair pty_;
    std::shared_ptr<ScriptedPrompts> prompts_;
    std::string received_;
    std::unique_ptr<CQuillonDlg> dialog_;
    CDialog* test_ = nullptr;
    CDialog* others_ = nullptr;
};

TEST_F(PrinterPagesTest, PrintTestIsRawAndTheCommandsTakeTheLineEnd) {
    OpenWindow();
    EXPECT_FALSE(dialog_->IsItemEnabled(IDC_PRINT_TEST));
    EXPECT_FALSE(others_->IsItemEnabled(IDC_CUT_PAPER));
    OpenPort();
    ASSERT_TRUE(dialog_->IsItemEnabled(IDC_PRINT_TEST));
    ASSERT_TRUE(others_->IsItemEnabled(IDC_CUT_PAPER));
    ASSERT_TRUE(others_->IsItemEnabled(IDC_CASH_DRAWER));

    const std::string printTest = "Print test OK!\r\n\r\n\r\n";
    const std::string cut("\x1D\x56\x42\x00", 4);
    const std::string drawer("\x1B\x70\x00\x32\x32\x1B\x70\x01\x32\x32\x00", 11);

    // Neither the line end nor the Chinese-mode wrapper reaches the print test.
    dialog_->SetChecked(IDC_SEND_NEWLINE, true);
    dialog_->SetChecked(IDC_CHINESE_MODE, true);
    for (bool hexSend : {true, false}) {
        dialog_->SetChecked(IDC_HEX_SEND, hexSend);
        Click(*dialog_, IDC_PRINT_TEST);
        EXPECT_EQ(PrintedBytes(20), printTest) << hexSend;
    }

    // "HEX Send" and "Send NewLine" ticked: the commands end in 0D 0A.
    dialog_->SetChecked(IDC_HEX_SEND, true);
    Click(*others_, IDC_CUT_PAPER);
    EXPECT_EQ(PrintedBytes(6), cut + "\r\n");
    Click(*others_, IDC_CASH_DRAWER);
    EXPECT_EQ(PrintedBytes(13), drawer + "\r\n");

    // Without "HEX Send" the line end is a CR LF typed into the hex text, which the
    // conversion reads as a separator; Chinese mode never wraps a command.
    dialog_->SetChecked(IDC_HEX_SEND, false);
    Click(*others_, IDC_CUT_PAPER);
    EXPECT_EQ(PrintedBytes(4), cut);

    dialog_->SetChecked(IDC_SEND_NEWLINE, false);
    dialog_->SetChecked(IDC_CHINESE_MODE, false);
    Click(*others_, IDC_CUT_PAPER);
    EXPECT_EQ(PrintedBytes(4), cut);
    Click(*others_, IDC_CASH_DRAWER);
    EXPECT_EQ(PrintedBytes(11), drawer);
    EXPECT_TRUE(prompts_->boxes.empty());

    ClosePort();
    EXPECT_FALSE(dialog_->IsItemEnabled(IDC_PRINT_TEST));
    EXPECT_FALSE(others_->IsItemEnabled(IDC_CUT_PAPER));
    EXPECT_FALSE(others_->IsItemEnabled(IDC_CASH_DRAWER));
}

TEST_F(PrinterPagesTest, ModelFileLinesGoOutAsTextOrHexWhileTheWindowRuns) {
    // CR LF line ends, trailing blanks and tabs, an empty and a blank line, text with
    // leading blanks, hex followed by a quoted X, a line that is not hex, and hex again.
    WriteModelFile(0,
                   "1B 40 \t\r\n"
                   "\r\n"
                   "\"ABC\"\r\n"
                   "  \t \r\n"
                   "   \"  lead\" \t\r\n"
                   "1B 40 \"X\"\n"
                   "zz\n"
                   "0a");
    OpenWindow();
    ASSERT_FALSE(TestButtonsEnabled());
    OpenPort();
    ASSERT_TRUE(TestButtonsEnabled());

    Click(*test_, IDC_MODEL_BUTTON[0]);
    // The click has returned with the run under way: the buttons wait, a line per 30 ms.
    EXPECT_FALSE(Completed());
    EXPECT_FALSE(TestButtonsEnabled());
    EXPECT_TRUE(dialog_->IsTimerRunning(kModelTestTimer));
    EXPECT_EQ(dialog_->TimerInterval(kModelTestTimer), 30);

    const std::string printed = Printed([&] { return Completed(); });
    EXPECT_EQ(printed, std::string("\x1B\x40"
                                   "\"ABC\""
                                   "   \"  lead\""
                                   "1B 40 \"X\""
                                   "\x0A"
                                   "\r\n\r\n"));
    // The line that is not hex was reported and the run went on.
    EXPECT_EQ(BoxTexts(), QStringList({LoadString(Language::English, IDS_HEX_FAILED),
                                       LoadString(Language::English, IDS_TEST_COMPLETED)}));
    EXPECT_EQ(prompts_->boxes.back().type, MB_OK);
    EXPECT_TRUE(prompts_->boxes.back().caption.isEmpty());
    EXPECT_TRUE(TestButtonsEnabled());
    EXPECT_FALSE(dialog_->IsTimerRunning(kModelTestTimer));
    EXPECT_EQ(dialog_->transport().quietSend(), 0);
    // The counter shows what the user sent: the quiet lines are not in it, the closing feed is.
    EXPECT_TRUE(SpinUntil([&] { return dialog_->ItemText(IDC_TX_COUNT) == "TX:4"; }))
        << dialog_->ItemText(IDC_TX_COUNT).toStdString();
    Printed([] { return false; }, 200ms);
    EXPECT_EQ(dialog_->ItemText(IDC_TX_COUNT), "TX:4");
}

TEST_F(PrinterPagesTest, AFailedOpenKeepsTheModelButtonsDisabled) {
    root_.WriteFile("ports", "COM1=" + root_.path() + "/missing\n");
    OpenWindow();
    ASSERT_EQ(dialog_->ItemText(IDC_PORT), "COM1");
    Click(*dialog_, IDC_OPEN_CLOSE);
    EXPECT_TRUE(BoxTexts().value(BoxTexts().size() - 1).startsWith("COM1 Open failed.\n"));
    EXPECT_EQ(dialog_->state().port.open, 0);
    for (int id : IDC_MODEL_BUTTON)
        EXPECT_FALSE(test_->IsItemEnabled(id)) << id;
    EXPECT_FALSE(dialog_->IsItemEnabled(IDC_PRINT_TEST));
    EXPECT_FALSE(others_->IsItemEnabled(IDC_CUT_PAPER));
}

TEST_F(PrinterPagesTest, EmptyLinesSendOnlyTheClosingFeedInChinese) {
    WriteModelFile(5, "\n   \n\t\r\n\r\n");
    OpenWindow(Language::Chinese);
    OpenPort();
    Click(*test_, IDC_MODEL_BUTTON[5]);
    EXPECT_EQ(Printed([&] { return Completed(); }), "\r\n\r\n");
    EXPECT_EQ(BoxTexts(), QStringList{QString::fromUtf8("测试完成")});
}

TEST_F(PrinterPagesTest, UnfitModelFilesAreRefusedWithTheErrorBox) {
    // A folder, a FIFO (which would block a plain open) and a file over the size limit.
    std::filesystem::create_directory(work_ + "/" + ModelTestFileName(1).toStdString());
    ASSERT_EQ(mkfifo((work_ + "/" + ModelTestFileName(2).toStdString()).c_str(), 0600), 0);
    WriteModelFile(3, std::string(static_cast<std::size_t>(kMaxModelTestFileBytes) + 1, '\n'));
    OpenWindow();
    OpenPort();
    for (int model : {1, 2, 3}) {
        prompts_->boxes.clear();
        Click(*test_, IDC_MODEL_BUTTON[model]);
        ASSERT_EQ(prompts_->boxes.size(), 1u) << model;
        EXPECT_EQ(prompts_->boxes[0].text, kOpenDataFileError);
        EXPECT_EQ(prompts_->boxes[0].caption, "error");
        EXPECT_EQ(prompts_->boxes[0].type, MB_ICONERROR);
        EXPECT_TRUE(TestButtonsEnabled());
    }
    EXPECT_EQ(Printed([] { return true; }), "");
}

TEST_F(PrinterPagesTest, ClosingThePortOrTheWindowEndsARun) {
    std::string lines;
    // Thirty seconds of lines: the run is far from its end when it is cut short.
    for (int i = 0; i < 1000; ++i)
        lines += "41\n";
    WriteModelFile(0, lines);
    OpenWindow();
    OpenPort();
    Click(*test_, IDC_MODEL_BUTTON[0]);
    std::string printed = Printed([&] { return received_.size() >= 3; });
    ClosePort();
    printed += Printed([] { return false; }, 300ms);
    EXPECT_GE(printed.size(), 3u);
    EXPECT_LT(printed.size(), 500u);
    EXPECT_EQ(printed, std::string(printed.size(), 'A'));
    EXPECT_FALSE(Completed());
    EXPECT_FALSE(dialog_->IsTimerRunning(kModelTestTimer));
    EXPECT_FALSE(TestButtonsEnabled());

    // Open again and start another run; then the window goes in the middle of it.
    OpenPort();
    ASSERT_TRUE(TestButtonsEnabled());
    Click(*test_, IDC_MODEL_BUTTON[0]);
    Printed([&] { return received_.size() >= 2; });
    dialog_.reset();
    printed = Printed([] { return false; }, 300ms);
    // At most what was already on its way; no closing feed.
    EXPECT_LT(printed.size(), 500u);
    EXPECT_EQ(printed, std::string(printed.size(), 'A'));
}

TEST_F(PrinterPagesTest, ShippedFileRunsFromTheDataFolder) {
    // The current folder has no model files: the one beside the program is used.
    OpenWindow();
    OpenPort();
    Click(*test_, IDC_MODEL_BUTTON[5]);
    const std::string printed = Printed([&] { return Completed(); }, 30s);
    EXPECT_EQ(BoxTexts(), QStringList{LoadString(Language::English, IDS_TEST_COMPLETED)});
    EXPECT_EQ(printed.substr(0, 4), "\x1B\x40\x1C\x2E");
    // The family's name in GB18030 inside Chinese mode.
    const std::string name = "\xCE\xA2\xB4\xF2\xD5\xEB\xB4\xF2\xBB\xFA\xD0\xCD";
    const std::size_t chineseOn = printed.find("\x1C\x26");
    ASSERT_NE(chineseOn, std::string::npos);
    EXPECT_LT(chineseOn, printed.find(name));
    EXPECT_LT(printed.find(name), printed.find("\x1C\x2E", chineseOn));
    // Fed to the tear bar, then the closing feed.
    EXPECT_EQ(printed.substr(printed.size() - 7), "\x1B\x64\x04\r\n\r\n");
}

TEST(ShippedModelFilesTest, EveryFileIsInTheDataFolderAndEveryHexLineConverts) {
    TempDir empty;
    ScopedCurrentFolder current(empty.path());
    for (int model = 0; model < kModelTestFiles; ++model) {
        const QString path = FindModelTestFile(model);
        EXPECT_EQ(path, QString::fromStdString(DataFolder()) + ModelTestFileName(model));
        auto file = ModelTestFile::Open(path);
        ASSERT_NE(file, nullptr) << path.toStdString();
        QByteArray line;
        int lineNumber = 0;
        int hexLines = 0;
        int textLines = 0;
        std::string first;
        while (file->NextLine(line)) {
            ++lineNumber;
            if (line.isEmpty())
                continue;
            if (IsModelTextLine(line)) {
                ++textLines;
                continue;
            }
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(line.size()) / 2 + 1);
            const int count =
                HexTextToBytes(std::string_view(line.constData(), line.size()), bytes.data());
            EXPECT_GT(count, 0) << path.toStdString() << ":" << lineNumber;
            if (hexLines++ == 0 && count > 0)
                first.assign(bytes.begin(), bytes.begin() + count);
        }
        // Each file starts by initialising the printer and holds text and commands.
        EXPECT_EQ(first, "\x1B\x40") << path.toStdString();
        EXPECT_GT(textLines, 5);
        EXPECT_GT(hexLines, 50);
    }
}

}  // namespace
