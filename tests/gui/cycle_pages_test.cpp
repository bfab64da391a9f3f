// The Com Cycle and Net Cycle pages driven by the messages the main window sends them, with
// a stand-in main window: their rows, ticks and parameters, and runs that reach
// pseudo-terminals registered as COM ports and network printers on loopback.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QTableWidget>
#include <chrono>

#include "framework/CDialog.h"
#include "framework/IpAddressEdit.h"
#include "pages/CDialog_ComCirculateSend.h"
#include "pages/CDialog_NetCirculateSend.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/FakeTtyLayer.h"
#include "tests/support/LoopbackPeers.h"
#include "transport/WorkerThreads.h"
#include "transport/platform/FdIo.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

// What the pages see of the main window. Like the real one, it stops a cycle run that
// reports a failure.
class HostWindow : public CDialog, public PageHost {
  public:
    HostWindow() : CDialog(990, Language::English) {
        OnMessage(UM_CYCLE_FAILED, [this](WPARAM, LPARAM) {
            ++failures;
            if (page)
                page->SendMessage(UM_CYCLE_SEND, 0, 1);
            return LRESULT{0};
        });
    }
    ~HostWindow() override { DestroyWindow(); }

    WindowRef MainWindow() const override { return Handle(); }
    const QStringList& SerialPortNames() const override { return names; }
    int SerialTargets() const override { return serialTargets; }
    void SetSerialTargets(int ticked) override { serialTargets = ticked; }
    void SetSerialRowSelected(int selected) override { rowSelected = selected; }
    void SetNetworkTargets(int ticked) override { networkTargets = ticked; }
    QString SerialParameterText() const override { return parameterText; }
    void ShowSerialParameters(const QString& text) override { shownParameters = text; }
    CycleSendState SendStateForCycle() const override { return sendState; }
    void RefreshControlStates() override { ++refreshes; }

    CDialog* page = nullptr;
    QStringList names;
    int serialTargets = 0;
    int rowSelected = 0;
    int networkTargets = 0;
    QString parameterText;
    QString shownParameters;
    CycleSendState sendState;
    int refreshes = 0;
    int failures = 0;
};

bool WorkersEnd(int baseline, std::chrono::milliseconds limit) {
    return SpinUntil([&] { return LiveWorkerCount() <= baseline; }, limit);
}

class ComCyclePageTest : public ::testing::Test {
  protected:
    ComCyclePageTest()
        : mapEnv_("QUILLON_PORT_MAP", folder_.path() + "/ports"),
          tty_(std::make_shared<FakeTtyLayer>()),
          ttyScope_(tty_),
          prompts_(std::make_shared<ScriptedPrompts>()),
          baseline_(LiveWorkerCount()) {
        MapPorts(ptys_[2].slavePath());
        host_.names = {"COM1", "COM2", "COM3"};
        page_ = std::make_unique<CDialog_ComCirculateSend>(host_, Language::English, &host_);
        page_->SetPrompts(prompts_);
        host_.page = page_.get();
        page_->Create();
        list_ = page_->Item<QTableWidget>(IDC_COM_LIST);
    }
    ~ComCyclePageTest() override {
        page_->SendMessage(UM_CYCLE_SEND, 0, 1);
        EXPECT_TRUE(WorkersEnd(baseline_, 10s));
    }

    // COM1 to COM5, COM3 on the device given.
    void MapPorts(const std::string& third) {
        std::string map;
        for (int i = 0; i < 5; ++i)
            map += "COM" + std::to_string(i + 1) + "=" + (i == 2 ? third : ptys_[i].slavePath()) +
                   "\n";
        folder_.WriteFile("ports", map);
    }
    void Tick(int row, bool ticked) {
        list_->item(row, 0)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
    void PressSpace() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
        QApplication::sendEvent(list_, &press);
    }
    bool Ticked(int row) const { return list_->item(row, 0)->checkState() == Qt::Checked; }
    QString Cell(int row, int column) const { return list_->item(row, column)->text(); }

    TempDir folder_;
    ScopedEnv mapEnv_;
    PtyPair ptys_[5];
    std::shared_ptr<FakeTtyLayer> tty_;
    ScopedTtyLayer ttyScope_;
    std::shared_ptr<ScriptedPrompts> prompts_;
    int baseline_;
    HostWindow host_;
    std::unique_ptr<CDialog_ComCirculateSend> page_;
    QTableWidget* list_ = nullptr;
};

TEST_F(ComCyclePageTest, RowsTicksParametersAndAOnePassRun) {
    EXPECT_FALSE(list_->isEnabled()) << "usable only once the main window says so";
    page_->SendMessage(UM_CYCLE_UPDATE, 1, 1);
    ASSERT_TRUE(list_->isEnabled());
    ASSERT_EQ(list_->rowCount(), 3);
    EXPECT_EQ(Cell(2, 0), "3");
    EXPECT_EQ(Cell(2, 1), "COM3");
    EXPECT_EQ(Cell(2, 2), "9600,N,8,1");

    // Space ticks the current row whichever of its cells is current, and unticks it.
    for (const int column : {2, 1, 0}) {
        list_->setCurrentCell(1, column);
        PressSpace();
        EXPECT_TRUE(Ticked(1)) << "column " << column;
        PressSpace();
        EXPECT_FALSE(Ticked(1)) << "column " << column;
    }

    Tick(0, true);
    Tick(2, true);
    EXPECT_EQ(host_.serialTargets, 1);
    list_->selectRow(2);
    EXPECT_EQ(host_.rowSelected, 1);
    EXPECT_EQ(host_.shownParameters, "9600,N,8,1");
    host_.parameterText = "19200,N,8,2, 1";
    page_->SendMessage(UM_CYCLE_UPDATE, 0, 1);
    EXPECT_EQ(Cell(2, 2), "19200,N,8,2, 1");
    // With the selection gone, a change still goes to the row selected last.
    list_->clearSelection();
    host_.parameterText = "38400,N,8,1, 0";
    page_->SendMessage(UM_CYCLE_UPDATE, 0, 1);
    EXPECT_EQ(Cell(2, 2), "38400,N,8,1, 0");
    EXPECT_EQ(Cell(0, 2), "9600,N,8,1");

    // "Send": one pass over the ticked ports. HEX text gets no line end and no wrapper.
    host_.sendState.lastSendText = "1B 40 4";
    host_.sendState.hexSend = true;
    host_.sendState.sendNewLine = true;
    host_.sendState.chineseMode = true;
    page_->SendMessage(UM_CYCLE_SEND, 1, 0);
    EXPECT_TRUE(list_->isEnabled()) << "a single pass leaves the rows usable";
    ASSERT_TRUE(WorkersEnd(baseline_, 10s));
    EXPECT_EQ(ptys_[0].DrainMaster(), std::string("\x1B\x40\x04", 3));
    EXPECT_EQ(ptys_[1].DrainMaster(50), "");
    EXPECT_EQ(ptys_[2].DrainMaster(), std::string("\x1B\x40\x04", 3));
    ASSERT_EQ(tty_->Applied().size(), 2u);
    EXPECT_EQ(tty_->Applied()[0].baudRate, 9600);
    EXPECT_EQ(tty_->Applied()[1].baudRate, 38400);

    // COM3 leaves the main window's list and comes back: unticked, with its parameters.
    host_.names = {"COM1", "COM2"};
    page_->SendMessage(UM_CYCLE_UPDATE, 1, 1);
    ASSERT_EQ(list_->rowCount(), 2);
    EXPECT_TRUE(Ticked(0));
    host_.names = {"COM1", "COM2", "COM3"};
    page_->SendMessage(UM_CYCLE_UPDATE, 1, 1);
    ASSERT_EQ(list_->rowCount(), 3);
    EXPECT_TRUE(Ticked(0));
    EXPECT_FALSE(Ticked(2));
    EXPECT_EQ(Cell(2, 2), "38400,N,8,1, 0");

    // The list changes under the rows without a rebuild: rows that no longer show the port
    // listed at their index lose their ticks and are never opened.
    host_.names = {"COM2", "COM1", "COM3"};
    Tick(1, true);
    EXPECT_FALSE(Ticked(0));
    EXPECT_FALSE(Ticked(1));
    EXPECT_EQ(host_.serialTargets, 0);
    host_.sendState = CycleSendState{};
    host_.sendState.lastSendText = "abc";
    page_->SendMessage(UM_CYCLE_SEND, 1, 0);
    ASSERT_TRUE(WorkersEnd(baseline_, 10s));
    for (const PtyPair& pty : ptys_)
        EXPECT_EQ(pty.DrainMaster(50), "");
    EXPECT_EQ(tty_->Applied().size(), 2u);
}

TEST_F(ComCyclePageTest, RepeatingRunStopsAtTheThirdOfFivePortsFailing) {
    MapPorts(folder_.path() + "/gone");
    host_.names = {"COM1", "COM2", "COM3", "COM4", "COM5"};
    page_->SendMessage(UM_CYCLE_UPDATE, 1, 1);
    for (int row = 0; row < 5; ++row)
        Tick(row, true);
    host_.sendState.lastSendText = "X";
    host_.sendState.sendNewLine = true;
    host_.sendState.chineseMode = true;
    page_->SendMessage(UM_CYCLE_SEND, 1, 1);
    EXPECT_FALSE(list_->isEnabled()) << "a repeating run holds the rows";
    ASSERT_TRUE(SpinUntil([&] { return !prompts_->boxes.empty(); }));
    EXPECT_EQ(prompts_->boxes[0].text, "COM3 Open failed.");
    EXPECT_EQ(host_.failures, 1);
    EXPECT_TRUE(list_->isEnabled()) << "the main window's stop gives the rows back";
    for (int port : {0, 1}) {
        // The count line goes inside the Chinese-mode wrapper, with the data after it.
        const std::string got = ptys_[port].DrainMaster();
        EXPECT_EQ(got.find("\x1C\x26--->current count is: 1, time is: "), 0u) << got;
        const std::string end = "<---\nX\r\n\x1C\x2E";
        ASSERT_GT(got.size(), end.size());
        EXPECT_EQ(got.substr(got.size() - end.size()), end);
    }
    EXPECT_EQ(ptys_[3].DrainMaster(50), "");
    EXPECT_EQ(ptys_[4].DrainMaster(50), "");
    ASSERT_TRUE(WorkersEnd(baseline_, 10s));
    EXPECT_EQ(prompts_->boxes.size(), 1u);
}

struct Printer {
    explicit Printer(int receiveBuffer = 0) {
        int error = 0;
        page = StartPrinterPage([](const std::string&) { return StatusReply(200, "OK"); }, address,
                                error);
        if (page)
            raw = std::make_unique<TcpListener>(address, 9100, 8, receiveBuffer);
    }
    bool Connected() const { return WaitReady(raw->fd(), POLLIN, -1, 0) == 1; }
    std::string address;
    std::unique_ptr<HttpResponder> page;
    std::unique_ptr<TcpListener> raw;
};

class NetCyclePageTest : public ::testing::Test {
  protected:
    NetCyclePageTest() : baseline_(LiveWorkerCount()) {
        host_ = std::make_unique<HostWindow>();
        page_ = std::make_unique<CDialog_NetCirculateSend>(*host_, Language::English, host_.get());
        host_->page = page_.get();
        host_->sendState.networkPort = 9100;
        page_->Create();
    }
    QAbstractButton* Box(int row) const { return page_->Item<QAbstractButton>(IDC_NET_CHECK[row]); }
    IpAddressEdit* Address(int row) const {
        return page_->Item<IpAddressEdit>(IDC_NET_ADDRESS[row]);
    }

    ProxyFreeEnvironment noProxy_;
    int baseline_;
    std::unique_ptr<HostWindow> host_;
    std::unique_ptr<CDialog_NetCirculateSend> page_;
};

TEST_F(NetCyclePageTest, TickedRowsAreServedInRowOrder) {
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(Address(row)->Address(), QString("192.168.1.%1").arg(111 + row));
        EXPECT_FALSE(Box(row)->isEnabled());
        EXPECT_FALSE(Address(row)->isEnabled());
    }
    Printer second;
    if (!second.page)
        GTEST_SKIP() << "cannot bind port 80 on loopback";
    Printer fifth;
    page_->SendMessage(UM_CYCLE_UPDATE, 1, 1);
    EXPECT_TRUE(Box(4)->isEnabled());
    // Rows 5 and 2 ticked, in that order: row 2 is still served first.
    Click(*page_, IDC_NET_CHECK[4]);
    Click(*page_, IDC_NET_CHECK[1]);
    EXPECT_EQ(host_->networkTargets, 1);
    EXPECT_TRUE(Address(1)->isEnabled());
    EXPECT_FALSE(Address(2)->isEnabled());
    Address(1)->SetAddress(QString::fromStdString(second.address));
    Address(4)->SetAddress(QString::fromStdString(fifth.address));

    host_->sendState.lastSendText = "DATA";
    host_->sendState.sendNewLine = true;
    page_->SendMessage(UM_CYCLE_SEND, 1, 0);
    const int fd = second.raw->Accept(10000);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReadSome(fd, 6), "DATA\r\n");
    EXPECT_FALSE(fifth.Connected());
    close(fd);
    const int later = fifth.raw->Accept(10000);
    ASSERT_GE(later, 0);
    EXPECT_EQ(ReadSome(later, 6), "DATA\r\n");
    close(later);
    EXPECT_TRUE(WorkersEnd(baseline_, 10s));
}

TEST_F(NetCyclePageTest, ClosingTheWindowDuringARunEndsItPromptly) {
    // A printer that never reads: the run's write waits for room that never comes.
    Printer stuck(4096);
    if (!stuck.page)
        GTEST_SKIP() << "cannot bind port 80 on loopback";
    page_->SendMessage(UM_CYCLE_UPDATE, 1, 1);
    Click(*page_, IDC_NET_CHECK[0]);
    Address(0)->SetAddress(QString::fromStdString(stuck.address));
    host_->sendState.lastSendText = QString(8 << 20, u'x');
    page_->SendMessage(UM_CYCLE_SEND, 1, 1);
    EXPECT_FALSE(Box(0)->isEnabled()) << "a repeating run holds the rows";
    ASSERT_TRUE(SpinUntil([&] { return stuck.Connected(); }));
    SpinUntil([] { return false; }, 300ms);
    ASSERT_GT(LiveWorkerCount(), baseline_);

    page_.reset();
    host_.reset();
    // Well inside the time a stalled write, or the pause after sending, would take.
    EXPECT_TRUE(WorkersEnd(baseline_, 1s));
}

}  // namespace
