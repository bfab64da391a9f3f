// Opening serial ports: the configuration each open leaves on the line, exclusive use,
// and what each failure shows and keeps.

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "tests/support/SerialFixture.h"
#include "transport/WorkerThreads.h"
#include "transport/platform/TtySpeed.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

termios LineOf(const CommonUtils& port) {
    termios t{};
    EXPECT_EQ(tcgetattr(port.GetSerialHandle(), &t), 0);
    return t;
}

class SerialOpenTest : public SerialFixture {
  protected:
    void TearDown() override {
        for (int i = 0; i < 1000 && LiveWorkerCount() != 0; ++i)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(LiveWorkerCount(), 0) << "a line-event thread did not end after Close";
    }
};

TEST_F(SerialOpenTest, NineSixHundredNoParityEightDataOneStop) {
    CommonUtils port;
    ASSERT_EQ(Open(port, 1, 9600, 'N', 8, 1, 0), 1);
    EXPECT_EQ(port.portKind(), kPortSerial);
    EXPECT_NE(port.commRunId(), 0u);
    EXPECT_TRUE(window_->MessageBoxes().empty());

    ASSERT_EQ(tty_->Applied().size(), 1u);
    const SerialLineSettings s = tty_->Applied()[0];
    EXPECT_EQ(s.baudRate, 9600);
    EXPECT_EQ(s.parity, 'N');
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_FALSE(s.ctsFlow || s.dsrFlow || s.xonXoff);

    // What the pseudo-terminal keeps: speed, stop bits, flow flags, raw mode.
    const termios t = LineOf(port);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_EQ(tty_->dtr(), 1);
    EXPECT_EQ(tty_->rts(), 1);
    CloseOnWindow(port);
    EXPECT_EQ(port.portKind(), kPortNone);
    EXPECT_EQ(port.GetSerialHandle(), -1);
}

TEST_F(SerialOpenTest, HighSpeedEvenParitySevenDataTwoStop) {
    CommonUtils port;
    ASSERT_EQ(Open(port, 1, 115200, 'E', 7, 2, 0), 1);
    const SerialLineSettings s = tty_->Applied().at(0);
    EXPECT_EQ(s.baudRate, 115200);
    EXPECT_EQ(s.parity, 'E');
    EXPECT_TRUE(s.parityCheck);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
    const termios t = LineOf(port);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_EQ(TtyOutputSpeed(port.GetSerialHandle()), 115200);
    CloseOnWindow(port);
}

TEST_F(SerialOpenTest, RateWithoutTermiosConstantIsSetThroughTheDriver) {
    CommonUtils port;
    ASSERT_EQ(Open(port, 1, 250000), 1);
    EXPECT_EQ(TtyOutputSpeed(port.GetSerialHandle()), 250000);
    CloseOnWindow(port);
    ASSERT_EQ(Open(port, 1, 14400), 1);
    EXPECT_EQ(TtyOutputSpeed(port.GetSerialHandle()), 14400);
    CloseOnWindow(port);
}

TEST_F(SerialOpenTest, XonXoffFlowKeepsTheLinesAsAsked) {
    CommonUtils port;
    ASSERT_EQ(Open(port, 1, 9600, 'N', 8, 1, /*flow*/ 1, kAllEvents, /*dtr*/ 0, /*rts*/ 0), 1);
    const termios t = LineOf(port);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(tty_->dtr(), 0);
    EXPECT_EQ(tty_->rts(), 0);
    CloseOnWindow(port);
}

TEST_F(SerialOpenTest, AnyOtherFlowModeIsRtsCtsWhateverRtsWasPassed) {
    for (int flow : {2, 7, -1}) {
        CommonUtils port;
        ASSERT_EQ(Open(port, 1, 9600, 'N', 8, 1, flow, kAllEvents, /*dtr*/ 1, /*rts*/ 0), 1);
        const termios t = LineOf(port);
        EXPECT_TRUE(t.c_cflag & CRTSCTS) << "flow " << flow;
        EXPECT_FALSE(t.c_iflag & (IXON | IXOFF)) << "flow " << flow;
        EXPECT_TRUE(tty_->Applied().back().ctsFlow);
        EXPECT_EQ(tty_->rts(), 1) << "RTS handshake starts with RTS raised";
        CloseOnWindow(port);
    }
}

TEST_F(SerialOpenTest, OnlyTheLowTwoBitsOfDtrAndRtsCount) {
    CommonUtils port;
    ASSERT_EQ(Open(port, 1, 9600, 'N', 8, 1, 0, kAllEvents, /*dtr*/ 4, /*rts*/ 5), 1);
    EXPECT_EQ(tty_->dtr(), 0);
    EXPECT_EQ(tty_->rts(), 1);
    CloseOnWindow(port);
}

TEST_F(SerialOpenTest, SecondOpenOfTheSamePortFailsAsAlreadyOpen) {
    CommonUtils first;
    CommonUtils second;
    ASSERT_EQ(Open(first, 1), 1);
    EXPECT_EQ(Open(second, 1), 0);
    EXPECT_EQ(window_->MessageBoxes(), std::vector<std::string>{kCannotOpenText});
    EXPECT_EQ(second.portKind(), kPortNone);
    EXPECT_EQ(second.GetSerialHandle(), -1);
    // The first open goes on undisturbed.
    SendOnWindow(first, "still mine");
    EXPECT_EQ(pty_.ReadMaster(10), "still mine");
    CloseOnWindow(first);
    // Once released, the port opens again, also while the old thread may still be ending.
    EXPECT_EQ(Open(second, 1), 1);
    CloseOnWindow(second);
}

TEST_F(SerialOpenTest, PortWithoutDeviceFailsWithTheOpenMessage) {
    CommonUtils port;
    EXPECT_EQ(Open(port, 5), 0);
    WriteMap("COM1=" + pty_.slavePath() + "\nCOM6=" + root_.path() + "/no-such-device\n");
    EXPECT_EQ(Open(port, 6), 0);
    EXPECT_EQ(window_->MessageBoxes(),
              (std::vector<std::string>{kCannotOpenText, kCannotOpenText}));
    EXPECT_EQ(port.portKind(), kPortNone);
}

TEST_F(SerialOpenTest, DeviceThatIsNoTerminalFailsWithTheTimeOutMessageAndIsReleased) {
    const std::string file = root_.WriteFile("plain-file", "");
    WriteMap("COM2=" + file + "\n");
    CommonUtils port;
    EXPECT_EQ(Open(port, 2), 0);
    EXPECT_EQ(window_->MessageBoxes(), std::vector<std::string>{kCannotSetTimeoutsText});
    EXPECT_EQ(port.portKind(), kPortNone);
    EXPECT_EQ(port.GetSerialHandle(), -1);
    // Released: another open of the same file gets as far again.
    CommonUtils other;
    EXPECT_EQ(Open(other, 2), 0);
    EXPECT_EQ(window_->MessageBoxes().size(), 2u);
    EXPECT_EQ(window_->MessageBoxes()[1], kCannotSetTimeoutsText);
}

TEST_F(SerialOpenTest, BadLineDefinitionFailsSilentlyAndKeepsThePortUntilTheNextOpen) {
    struct Case {
        int baud;
        char parity;
        int data;
        int stop;
    };
    for (const Case c : {Case{9600, 'X', 8, 1}, Case{9600, 'N', 9, 1}, Case{9600, 'N', 4, 1},
                         Case{9600, 'N', 8, 3}, Case{0, 'N', 8, 1}, Case{-9600, 'N', 8, 1}}) {
        CommonUtils port;
        EXPECT_EQ(Open(port, 1, c.baud, c.parity, c.data, c.stop), 0);
        EXPECT_TRUE(window_->MessageBoxes().empty());
        EXPECT_EQ(port.portKind(), kPortNone);
        EXPECT_GE(port.GetSerialHandle(), 0) << "the port stays held";
        EXPECT_EQ(port.commRunId(), 0u);
        CommonUtils other;
        EXPECT_EQ(Open(other, 1), 0) << "held means nobody else gets it";
        // The next OpenSerial of the same object lets go of the held port first.
        EXPECT_EQ(Open(port, 1), 1);
        CloseOnWindow(port);
        window_->Invoke([] {});
        EXPECT_EQ(window_->MessageBoxes().size(), 1u);
        window_ = std::make_shared<TestWindow>();
    }
}

TEST_F(SerialOpenTest, PortNumbersOfTenAndMoreOpenLikeTheRest) {
    PtyPair second;
    WriteMap("COM9=" + pty_.slavePath() + "\nCOM12=" + second.slavePath() + "\n");
    CommonUtils nine;
    CommonUtils twelve;
    ASSERT_EQ(Open(nine, 9), 1);
    ASSERT_EQ(Open(twelve, 12), 1);
    SendOnWindow(twelve, "twelve");
    EXPECT_EQ(second.ReadMaster(6), "twelve");
    SendOnWindow(nine, "nine");
    EXPECT_EQ(pty_.ReadMaster(4), "nine");
    CloseOnWindow(nine);
    CloseOnWindow(twelve);
}

TEST_F(SerialOpenTest, SettingsTextOpensForDirectSendingWithItsOwnFlowControl) {
    CommonUtils port;
    ASSERT_EQ(port.OpenSerialByText(1, "9600,N,8,1, 2"), 1);
    EXPECT_EQ(port.portKind(), kPortSerial);
    EXPECT_EQ(port.commRunId(), 0u) << "no thread serves such a port";
    EXPECT_EQ(port.owner(), nullptr);
    const SerialLineSettings s = tty_->Applied().at(0);
    EXPECT_EQ(s.baudRate, 9600);
    EXPECT_EQ(s.parity, 'N');
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 1) << "stop value 0 of the four-field text is one stop bit";
    EXPECT_TRUE(s.ctsFlow) << "the text asks for RTS/CTS";
    EXPECT_FALSE(s.xonXoff);
    EXPECT_EQ(tty_->dtr(), 1);
    EXPECT_EQ(tty_->rts(), 1);
    const termios t = LineOf(port);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

    // Send has nobody to serve it; SendDirect writes at once.
    port.Send("queued", 6);
    port.SendDirect("direct", 6);
    EXPECT_EQ(pty_.DrainMaster(300), "direct");
    EXPECT_EQ(port.bytesWritten(), 6u);
    port.Close();
    EXPECT_EQ(port.GetSerialHandle(), -1);

    // XON/XOFF alone; the four-field default and "none" have no flow control at all, so a
    // three-wire cable takes every byte.
    const struct {
        const char* text;
        bool cts;
        bool xon;
    } cases[] = {{"9600,N,8,1, 1", false, true},
                 {"9600,N,8,1", false, false},
                 {"9600,N,8,1, 0", false, false}};
    for (const auto& c : cases) {
        ASSERT_EQ(port.OpenSerialByText(1, c.text), 1) << c.text;
        const SerialLineSettings applied = tty_->Applied().back();
        EXPECT_EQ(applied.ctsFlow, c.cts) << c.text;
        EXPECT_EQ(applied.xonXoff, c.xon) << c.text;
        EXPECT_FALSE(applied.dsrFlow) << c.text;
        port.Close();
    }
}

TEST_F(SerialOpenTest, SettingsTextWithFiveFieldsAndItsParityAndStopBits) {
    CommonUtils port;
    ASSERT_EQ(port.OpenSerialByText(1, "19200,E,7,2, 1"), 1);
    const SerialLineSettings s = tty_->Applied().at(0);
    EXPECT_EQ(s.baudRate, 19200);
    EXPECT_EQ(s.parity, 'E');
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_TRUE(LineOf(port).c_cflag & CSTOPB);
    port.Close();
    ASSERT_EQ(port.OpenSerialByText(1, "4800,O,8,1, 0"), 1);
    EXPECT_EQ(tty_->Applied().back().parity, 'O');
    port.Close();
    ASSERT_EQ(port.OpenSerialByText(1, "4800,x,8,1, 0"), 1);
    EXPECT_EQ(tty_->Applied().back().parity, 'N') << "an unknown letter is no parity";
    port.Close();
}

TEST_F(SerialOpenTest, SettingsTextTheLineCannotTakeFailsAndKeepsThePortUntilClose) {
    CommonUtils port;
    EXPECT_EQ(port.OpenSerialByText(1, "115200"), 0);
    EXPECT_EQ(port.portKind(), kPortNone);
    EXPECT_GE(port.GetSerialHandle(), 0);
    EXPECT_EQ(port.OpenSerialByText(1, "9600,N,8,1"), 0) << "still held by the failed open";
    port.Close();
    EXPECT_EQ(port.OpenSerialByText(1, "9600,N,8,1"), 1);
    port.Close();
    EXPECT_TRUE(window_->MessageBoxes().empty());
}

TEST_F(SerialOpenTest, SettingsTextWithANumberThatDoesNotFitFailsWithoutOpening) {
    CommonUtils port;
    // Read with wrap-round these would be 9600 baud and 8 data bits.
    for (const char* text : {"4294976896,N,8,1", "9600,N,4294967304,1"}) {
        EXPECT_EQ(port.OpenSerialByText(1, text), 0) << text;
        EXPECT_EQ(port.GetSerialHandle(), -1) << text;
    }
    EXPECT_TRUE(tty_->Applied().empty());
    EXPECT_EQ(port.portKind(), kPortNone);
}

TEST_F(SerialOpenTest, SettingsTextOpenOfAPortInUseFailsWithoutAMessage) {
    CommonUtils window;
    CommonUtils cycle;
    ASSERT_EQ(Open(window, 1), 1);
    EXPECT_EQ(cycle.OpenSerialByText(1, "9600,N,8,1"), 0);
    EXPECT_EQ(cycle.GetSerialHandle(), -1);
    EXPECT_TRUE(window_->MessageBoxes().empty());
    CloseOnWindow(window);
    EXPECT_EQ(cycle.OpenSerialByText(1, "9600,N,8,1"), 1);
    cycle.Close();
}

}  // namespace

namespace {

class SerialOverOpenPortTest : public SerialFixture {};

TEST_F(SerialOverOpenPortTest, OpeningASerialPortOverAnOpenUsbPortEndsTheUsbWorkers) {
    PtyPair usb;
    LinkNode(root_.path() + "/dev/usb/lp0", usb.slavePath());
    CommonUtils port;
    int opened = 0;
    window_->Invoke(
        [&] { opened = port.OpenUsb(window_, "/dev/usb/lp0#usb#vid_0416&pid_5011#1"); });
    ASSERT_EQ(opened, 1);
    ASSERT_EQ(Open(port, 1), 1);
    EXPECT_EQ(port.portKind(), kPortSerial);
    EXPECT_TRUE(window_->WaitUntil([] { return LiveWorkerCount() == 1; }))
        << LiveWorkerCount() << " workers";
    SendOnWindow(port, "to serial");
    EXPECT_EQ(pty_.ReadMaster(9), "to serial");
    EXPECT_EQ(usb.DrainMaster(100), "");
    CloseOnWindow(port);
}

}  // namespace
