// A transport's workers reach a real dialog: bytes handed to the port arrive at the
// device, and the writer's UM_TX_DONE is handled on the window's thread.

#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <atomic>
#include <future>

#include "app/CQuillonDlg.h"
#include "framework/CDialog.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"
#include "transport/CommonUtils.h"

using namespace quillon;

namespace {

// A dialog that owns a port and records what its transport reports.
class PortDialog : public CDialog {
  public:
    PortDialog() : CDialog(901, Language::English) {
        OnMessage(UM_TX_DONE, [this](WPARAM written, LPARAM) {
            if (QThread::currentThread() != QApplication::instance()->thread())
                ++offThread;
            txDone.push_back(static_cast<int>(written));
            return LRESULT{0};
        });
    }
    ~PortDialog() override { DestroyWindow(); }

    void OnByte(std::function<void(WPARAM)> handle) {
        OnMessage(UM_RX_BYTE, [handle](WPARAM byte, LPARAM) {
            handle(byte);
            return LRESULT{0};
        });
    }

    CommonUtils transport;
    std::vector<int> txDone;
    std::atomic<int> offThread{0};
};

class TransportDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LinkNode(devices_.path() + "/lp0", pty_.slavePath());
        root_ = std::make_unique<ScopedEnv>("QUILLON_DEV_ROOT", devices_.path());
    }

    TempDir devices_;
    PtyPair pty_;
    std::unique_ptr<ScopedEnv> root_;
};

TEST_F(TransportDialogTest, WrittenBytesArriveAndTxDoneReachesTheWindowThread) {
    PortDialog dialog;
    dialog.Create();
    ASSERT_TRUE(dialog.transport.OpenParallel(dialog.Handle(), "LPT1"));
    dialog.transport.Send("\x1b@ABC", 5);
    EXPECT_EQ(pty_.ReadMaster(5), std::string("\x1b@ABC", 5));
    ASSERT_TRUE(SpinUntil([&] { return !dialog.txDone.empty(); }));
    EXPECT_EQ(dialog.txDone, std::vector<int>{5});
    EXPECT_EQ(dialog.offThread, 0);
    dialog.transport.Close();
}

TEST_F(TransportDialogTest, ADialogTakingSingleBytesGetsThemInOrderUntilItCloses) {
    PtyPair usb;
    LinkNode(devices_.path() + "/usb/lp0", usb.slavePath());
    PortDialog dialog;
    std::string bytes;
    dialog.OnByte([&](WPARAM byte) {
        bytes.push_back(static_cast<char>(byte & 0xFF));
        // Closing while one byte is handled ends the rest of what was read with it.
        if (bytes.size() == 1000)
            dialog.transport.Close();
    });
    dialog.Create();
    ASSERT_TRUE(dialog.transport.OpenUsb(dialog.Handle(), "/dev/usb/lp0#usb#vid_0416&pid_5011#1"));
    std::string answer;
    for (int i = 0; i < 3000; ++i)
        answer.push_back(static_cast<char>(i * 7));
    usb.WriteMaster(answer);
    ASSERT_TRUE(SpinUntil([&] { return bytes.size() >= 1000; }));
    SpinUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(bytes, answer.substr(0, 1000));
}

TEST_F(TransportDialogTest, MainWindowPortSurvivesTheWindowGoingAway) {
    auto dialog = OpenMainWindow(Language::English);
    CommonUtils& transport = dialog->transport();
    ASSERT_TRUE(transport.OpenParallel(dialog->Handle(), "LPT1"));
    transport.Send("first", 5);
    EXPECT_EQ(pty_.ReadMaster(5), "first");
    // The writer waits on the window for its UM_TX_DONE; the window handles it in its loop.
    ASSERT_TRUE(SpinUntil([&] { return transport.bytesWritten() == 5; }));
    SpinUntil([] { return false; }, std::chrono::milliseconds(100));

    // A second write whose report is still pending when the window is destroyed: the
    // writer is released and the port is closed with the window.
    const WindowRef window = dialog->Handle();
    transport.Send("second", 6);
    EXPECT_EQ(pty_.ReadMaster(6), "second");
    dialog.reset();
    // Whatever a worker still sends to the gone window is answered with 0 at once.
    EXPECT_EQ(window->SendMessage(UM_TX_DONE, 6, 0), 0);
    EXPECT_EQ(
        std::async(std::launch::async, [window] { return window->SendMessage(UM_TX_DONE, 6, 0); })
            .get(),
        0);
}

}  // namespace
