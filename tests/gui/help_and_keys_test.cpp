// The help text in the receive box, the receive box as a one-key terminal against a
// pseudo-terminal printer, and keys that never close the window.

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <csignal>

#include "app/CQuillonDlg.h"
#include "app/ProgramHooks.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

void Type(QWidget* widget, Qt::Key key, const QString& text,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(widget, &release);
}

class HelpAndKeysTest : public ::testing::Test {
  protected:
    HelpAndKeysTest()
        : devEnv_("QUILLON_DEV_ROOT", root_.MakeDirs("dev")),
          sysEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP", root_.WriteFile("ports", "COM1=" + pty_.slavePath() + "\n")),
          dialog_(OpenMainWindow(Language::English, prompts_)),
          receive_(dialog_->GetDlgItem(IDC_RECEIVE)) {}
    ~HelpAndKeysTest() override {
        dialog_->transport().Close();
        dialog_->state().port.open = 0;
    }

    // What the printer end receives; the window's event loop runs meanwhile, since the
    // port's thread hands its reports to the window before it writes on.
    std::string Received(std::size_t count) {
        std::string got;
        SpinUntil([&] {
            got += pty_.ReadMaster(count - got.size(), 10);
            return got.size() >= count;
        });
        SpinUntil([] { return false; }, std::chrono::milliseconds(100));
        return got + pty_.ReadMaster(64, 10);
    }

    void OpenCom1() {
        ASSERT_EQ(dialog_->transport().OpenSerial(dialog_->Handle(), 1, 9600, 'N', 8, 1, 0,
                                                  dialog_->state().port.lineEventMask, 1, 1),
                  1);
        dialog_->state().port.open = 1;
    }

    TempDir root_;
    PtyPair pty_;
    ScopedEnv devEnv_;
    ScopedEnv sysEnv_;
    ScopedEnv mapEnv_;
    std::shared_ptr<ScriptedPrompts> prompts_ = std::make_shared<ScriptedPrompts>();
    std::unique_ptr<CQuillonDlg> dialog_;
    QWidget* receive_;
};

TEST_F(HelpAndKeysTest, HelpShowsTheHelpTextInEitherLanguageAndGoesAgain) {
    for (const Language language : {Language::English, Language::Chinese}) {
        auto dialog = OpenMainWindow(language, prompts_);
        Click(*dialog, IDC_HELP);
        EXPECT_EQ(dialog->state().helpShown, 1);
        const QString help = LoadString(language, IDS_HELP);
        EXPECT_EQ(dialog->ItemText(IDC_RECEIVE), QString(help).replace("\r\n", "\n"));
        Click(*dialog, IDC_HELP);
        EXPECT_EQ(dialog->state().helpShown, 0);
    }
    // Line 5 says in words what the Chinese line says: "More" opens the three pages.
    const QStringList english = LoadString(Language::English, IDS_HELP).split("\r\n");
    ASSERT_EQ(english.size(), 7);
    EXPECT_TRUE(english[5].startsWith("5.")) << english[5].toStdString();
    EXPECT_TRUE(english[5].contains("\"More\""));
    EXPECT_FALSE(english[5].contains(u'?'));
    // Line 4 of the Chinese text names no printer maker.
    EXPECT_EQ(LoadString(Language::Chinese, IDS_HELP).split("\r\n").value(4),
              "4.自动更新端口列表,其中USB只列出连接的打印机.");
}

TEST_F(HelpAndKeysTest, LettersAndDigitsTypedInTheReceiveBoxAreSentWhileThePortIsOpen) {
    // Closed: nothing is typed into the box and nothing is sent.
    const QString before = dialog_->ItemText(IDC_RECEIVE);
    Type(receive_, Qt::Key_A, "a");
    EXPECT_EQ(dialog_->ItemText(IDC_RECEIVE), before);

    OpenCom1();
    dialog_->SetChecked(IDC_HEX_SEND, false);
    Type(receive_, Qt::Key_A, "a");
    EXPECT_EQ(Received(1), "a");
    Type(receive_, Qt::Key_7, "7");
    Type(receive_, Qt::Key_Z, "Z", Qt::ShiftModifier);
    EXPECT_EQ(Received(2), "7Z");

    // Space, punctuation, Return, Backspace, Tab and Ctrl+V send nothing and change nothing.
    Type(receive_, Qt::Key_Space, " ");
    Type(receive_, Qt::Key_Period, ".");
    Type(receive_, Qt::Key_Return, "\r");
    Type(receive_, Qt::Key_Backspace, "\b");
    Type(receive_, Qt::Key_V, "\x16", Qt::ControlModifier);
    Type(receive_, Qt::Key_A, QString::fromUtf8("é"));
    EXPECT_EQ(Received(0), "");
    EXPECT_EQ(dialog_->ItemText(IDC_RECEIVE), before);

    // With "Send NewLine" the letter goes out with CR LF.
    dialog_->SetChecked(IDC_SEND_NEWLINE, true);
    Type(receive_, Qt::Key_A, "a");
    EXPECT_EQ(Received(3), "a\r\n");
}

TEST_F(HelpAndKeysTest, NoContextMenuAndNoKeyClosesTheWindow) {
    auto* box = qobject_cast<QAbstractScrollArea*>(receive_);
    ASSERT_NE(box, nullptr);
    // A menu would run modally; close any that comes up and note it.
    bool menuShown = false;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuShown = true;
            popup->close();
        }
    });
    guard.start(50);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5),
                           box->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(box->viewport(), &menu);
    SpinUntil([] { return false; }, std::chrono::milliseconds(150));
    EXPECT_FALSE(menuShown);

    for (int id : {IDC_RECEIVE, IDC_INTERVAL, IDC_SEND_TEXT, IDC_PORT}) {
        QWidget* control = dialog_->GetDlgItem(id);
        control->setFocus();
        Type(control, Qt::Key_Escape, "\x1B");
        Type(control, Qt::Key_Return, "\r");
        Type(control, Qt::Key_Enter, "\r");
        EXPECT_TRUE(dialog_->isVisible()) << id;
    }
    EXPECT_TRUE(prompts_->boxes.empty());
}

TEST(Closing, ATerminationSignalEndsAnOpenMessageBoxAndThenTheWindow) {
    TempDir work;
    CQuillonDlg dialog;
    dialog.SetPrompts(std::make_shared<QtPrompts>());
    // A save folder that cannot be made: the save shows a message box.
    dialog.state().saveDirectory =
        QString::fromStdString(work.WriteFile("not-a-folder", "x") + "/captures/");
    CloseOnTerminationSignals(dialog);
    bool boxShown = false;
    bool outlived = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!boxShown && qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxShown = true;
            raise(SIGTERM);
        }
    });
    watch.start(20);
    // Should the box outlive the signal, it is ended here, so that the test fails instead of
    // waiting for ever.
    QTimer::singleShot(15000, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            outlived = true;
            box->reject();
        }
    });
    QTimer::singleShot(0, &dialog, [&] { Click(dialog, IDC_SAVE); });
    dialog.DoModal();
    signal(SIGTERM, SIG_DFL);
    EXPECT_TRUE(boxShown);
    EXPECT_FALSE(outlived) << "the message box kept the program until it was answered";
}

}  // namespace
