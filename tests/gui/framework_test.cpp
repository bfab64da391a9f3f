// The dialog layer: language choice, formatting, the text table, window messages across
// threads, timers and the routing of control notifications by id.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QThread>
#include <atomic>
#include <future>
#include <thread>

#include "framework/CDialog.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

TEST(LanguageTest, FirstSetVariableDecides) {
    ScopedEnv all("LC_ALL", "");
    ScopedEnv messages("LC_MESSAGES", "");
    {
        ScopedEnv lang("LANG", "zh_CN.UTF-8");
        EXPECT_EQ(LanguageFromEnvironment(), Language::Chinese);
    }
    {
        ScopedEnv lang("LANG", "C");
        EXPECT_EQ(LanguageFromEnvironment(), Language::English);
    }
    {
        // LC_MESSAGES comes before LANG, and LC_ALL before both; empty values are skipped.
        ScopedEnv lang("LANG", "en_US.UTF-8");
        ScopedEnv zh("LC_MESSAGES", "zh_TW.UTF-8");
        EXPECT_EQ(LanguageFromEnvironment(), Language::Chinese);
        ScopedEnv en("LC_ALL", "de_DE.UTF-8");
        EXPECT_EQ(LanguageFromEnvironment(), Language::English);
    }
    {
        ScopedEnv lang("LANG", "");
        EXPECT_EQ(LanguageFromEnvironment(), Language::English);
    }
}

TEST(FormatTest, ConversionsOfTheTableTexts) {
    EXPECT_EQ(Format("Quillon V%.1f", {static_cast<double>(6.4f)}), "Quillon V6.4");
    EXPECT_EQ(Format("%s Open failed.", {QStringLiteral("COM3")}), "COM3 Open failed.");
    EXPECT_EQ(Format("COM%d OPENED,%d,%c,%d,%d;", {3, 9600, 'N', 8, 1}), "COM3 OPENED,9600,N,8,1;");
    EXPECT_EQ(Format("RX:%lu", {4294967295u}), "RX:4294967295");
    EXPECT_EQ(Format("%02X ", {0x0B}), "0B ");
    EXPECT_EQ(Format("Rec%02d.txt", {7}), "Rec07.txt");
    EXPECT_EQ(Format("100%%", {}), "100%");
}

TEST(FormatTest, MissingArgumentsAndUnknownConversionsAreHarmless) {
    EXPECT_EQ(Format("%s and %s", {QStringLiteral("one")}), "one and ");
    EXPECT_EQ(Format("%q %d", {5}), "%q 5");
    EXPECT_EQ(Format("trailing %", {}), "trailing %");
}

TEST(TextsTest, StringTableInBothLanguages) {
    const QList<int> ids = StringTableIds();
    ASSERT_FALSE(ids.isEmpty());
    for (int id : ids) {
        EXPECT_FALSE(LoadString(Language::English, id).isEmpty()) << id;
        EXPECT_FALSE(LoadString(Language::Chinese, id).isEmpty()) << id;
    }
    EXPECT_EQ(LoadString(Language::English, 157), "%s Open failed.");
    EXPECT_EQ(LoadString(Language::Chinese, 157), "%s打开失败！");
    EXPECT_EQ(LoadString(Language::English, 159), "Open\nPort");
    EXPECT_EQ(LoadString(Language::Chinese, 160), "关闭\n端口");
    EXPECT_EQ(LoadString(Language::English, 165), "%s Creat connection failed.");
    EXPECT_EQ(LoadString(Language::Chinese, 172), "端口关闭！");
    EXPECT_EQ(LoadString(Language::English, 173), "COM%d OPENED,%d,%c,%d,%d;");
    EXPECT_EQ(LoadString(Language::Chinese, 174), "%s 打开！");
    EXPECT_EQ(LoadString(Language::Chinese, 176), "发送数据超出十六进制范围,无法以HEX格式发送！");
    EXPECT_EQ(LoadString(Language::English, 179), "No File Selected.");
    EXPECT_EQ(LoadString(Language::Chinese, 183), "正在发送...");
    EXPECT_EQ(LoadString(Language::English, 186), "Please choose save directory");
    EXPECT_EQ(LoadString(Language::English, 188), "*.txt|*.txt|*.bin|*.bin|*.dat|*.dat|*.*|*.*||");
    EXPECT_EQ(LoadString(Language::Chinese, 189), "以太网");
    EXPECT_EQ(LoadString(Language::English, 190), "Connection has been broken!");
    EXPECT_EQ(LoadString(Language::English, 191), "Quillon V%.1f");
    EXPECT_EQ(LoadString(Language::Chinese, 191), "Quillon V%.1f ");
    EXPECT_EQ(LoadString(Language::Chinese, 193), "测试完成");
    // Ids the table does not use give an empty text.
    EXPECT_TRUE(LoadString(Language::English, 158).isEmpty());
    EXPECT_TRUE(LoadString(Language::English, 194).isEmpty());
}

TEST(TextsTest, HelpTextLinesEndInCarriageReturnLineFeed) {
    const QStringList english = LoadString(Language::English, 175).split("\r\n");
    const QStringList chinese = LoadString(Language::Chinese, 175).split("\r\n");
    ASSERT_EQ(english.size(), 7);
    ASSERT_EQ(chinese.size(), 7);
    EXPECT_EQ(english[0], "Main function is:");
    EXPECT_EQ(english[4], "4.Auto updata the Port When computer find your printer.");
    EXPECT_EQ(chinese[0], "软件功能主要为:");
    EXPECT_EQ(chinese[5], "5.点击\"更多\"会展开串口循环发送,网口循环发送与其他指令选项.");
    EXPECT_TRUE(chinese[6].startsWith("6.循环发送需要先选择端口,多台循环选择\"是\""));
}

TEST(TextsTest, MissingKeyIsReported) {
    EXPECT_THROW(Text(Language::English, "D148.no-such-control"), std::out_of_range);
}

// A dialog with a few controls and handlers that record where and how they ran.
class ProbeDialog : public CDialog {
  public:
    ProbeDialog() : CDialog(900, Language::English) {
        AddControl(10, new QCheckBox(QStringLiteral("box"), this));
        AddControl(11, new QComboBox(this))->addItems({"a", "b", "c"});
        AddControl(12, new QLineEdit(this));
        OnCommand(BN_CLICKED, 10, [this] { events.push_back("clicked 10"); });
        OnCommand(CBN_SELCHANGE, 11, [this] { events.push_back("selchange 11"); });
        OnCommand(EN_CHANGE, 12, [this] { events.push_back("change 12"); });
        OnMessage(WM_USER + 1, [this](WPARAM w, LPARAM l) {
            onUiThread = QThread::currentThread() == QApplication::instance()->thread();
            ++handled;
            return static_cast<LRESULT>(w + l);
        });
        OnMessage(WM_TIMER, [this](WPARAM id, LPARAM) {
            timerIds.push_back(static_cast<int>(id));
            return LRESULT{0};
        });
    }
    ~ProbeDialog() override { DestroyWindow(); }

    std::vector<std::string> events;
    std::vector<int> timerIds;
    std::atomic<int> handled{0};
    std::atomic<bool> onUiThread{false};
};

TEST(DialogTest, NotificationsReachTheTableByControlId) {
    ProbeDialog dialog;
    dialog.Create();
    Click(dialog, 10);
    Choose(dialog, 11, 2);
    dialog.SetItemText(12, "typed");
    // A selection the dialog makes itself is not reported; only the user's is.
    dialog.SetCurSel(11, 0);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"clicked 10", "selchange 11", "change 12"}));
    EXPECT_TRUE(dialog.IsChecked(10));
    EXPECT_EQ(dialog.CurSel(11), 0);
    EXPECT_EQ(dialog.SendMessage(WM_COMMAND, MakeCommandParam(10, BN_CLICKED), 0), 0);
    EXPECT_EQ(dialog.events.back(), "clicked 10");
    EXPECT_EQ(dialog.GetDlgItem(99), nullptr);
    // A message without an entry is answered with 0.
    EXPECT_EQ(dialog.SendMessage(WM_USER + 50, 1, 2), 0);
}

TEST(DialogTest, MessageFromWorkerWaitsForTheWindowThread) {
    ProbeDialog dialog;
    dialog.Create();
    const WindowRef window = dialog.Handle();
    auto result = std::async(std::launch::async,
                             [window] { return window->SendMessage(WM_USER + 1, 40, 2); });
    // Not handled until the window's thread runs its event loop.
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_EQ(dialog.handled, 0);
    ASSERT_TRUE(SpinUntil(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(result.get(), 42);
    EXPECT_TRUE(dialog.onUiThread);
    // On the window's own thread the handler runs at once.
    EXPECT_EQ(window->SendMessage(WM_USER + 1, 1, 1), 2);
}

TEST(DialogTest, WorkerBlockedOnADialogThatDiesIsReleased) {
    auto dialog = std::make_unique<ProbeDialog>();
    dialog->Create();
    const WindowRef window = dialog->Handle();
    auto result =
        std::async(std::launch::async, [window] { return window->SendMessage(WM_USER + 1, 1, 1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // The dialog goes away without ever running its event loop for the message.
    dialog.reset();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    // Later messages to the gone window return 0 at once, from any thread.
    EXPECT_EQ(window->SendMessage(WM_USER + 1, 1, 1), 0);
    EXPECT_EQ(
        std::async(std::launch::async, [window] { return window->SendMessage(WM_USER + 1, 1, 1); })
            .get(),
        0);
}

TEST(DialogTest, DestroyedWindowIgnoresMessagesStillQueued) {
    ProbeDialog dialog;
    dialog.Create();
    const WindowRef window = dialog.Handle();
    auto result =
        std::async(std::launch::async, [window] { return window->SendMessage(WM_USER + 1, 1, 1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    dialog.DestroyWindow();
    ASSERT_TRUE(SpinUntil(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(result.get(), 0);
    EXPECT_EQ(dialog.handled, 0);
}

TEST(DialogTest, OneShotTimersById) {
    ProbeDialog dialog;
    dialog.Create();
    dialog.SetTimer(1, 20);
    dialog.SetTimer(4, 60000);
    dialog.SetTimer(2, 30);
    dialog.KillTimer(2);
    EXPECT_TRUE(dialog.IsTimerRunning(1));
    EXPECT_EQ(dialog.TimerInterval(4), 60000);
    ASSERT_TRUE(SpinUntil([&] { return !dialog.timerIds.empty(); }));
    // Let a killed or repeating timer show itself if it would.
    SpinUntil([] { return false; }, std::chrono::milliseconds(150));
    EXPECT_EQ(dialog.timerIds, std::vector<int>{1});
    EXPECT_FALSE(dialog.IsTimerRunning(1));
    EXPECT_FALSE(dialog.IsTimerRunning(2));
    // Setting a running timer again starts it over with the new time.
    dialog.SetTimer(4, 10);
    ASSERT_TRUE(SpinUntil([&] { return dialog.timerIds.size() == 2; }));
    EXPECT_EQ(dialog.timerIds.back(), 4);
}

TEST(DialogTest, MessageBoxesGoThroughTheSeam) {
    auto prompts = std::make_shared<ScriptedPrompts>();
    ProbeDialog dialog;
    dialog.SetPrompts(prompts);
    dialog.Create();
    EXPECT_EQ(dialog.MessageBox("shown", "", MB_OK), IDOK);
    // A transport's message box, asked for from a worker thread, is shown on the window's.
    const WindowRef window = dialog.Handle();
    auto shown = std::async(std::launch::async, [window] { window->MessageBox("串口打开失败"); });
    ASSERT_TRUE(SpinUntil(
        [&] { return shown.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    ASSERT_EQ(prompts->boxes.size(), 2u);
    EXPECT_EQ(prompts->boxes[0].text, "shown");
    EXPECT_EQ(prompts->boxes[1].text, "串口打开失败");
}

TEST(DialogTest, QtFileFilterFromTheTableForm) {
    EXPECT_EQ(QtFileFilter("*.txt|*.txt|*.bin|*.bin|*.*|*.*||"),
              "*.txt (*.txt);;*.bin (*.bin);;*.* (*.*)");
}

}  // namespace
