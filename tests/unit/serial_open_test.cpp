// Opening serial ports: the configuration each open leaves on the line, exclusive use,
// and what each failure shows and keeps.

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <thread>

#include "tests/support/HoldingProgram.h"
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
    ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, 0));
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
    ASSERT_TRUE(Open(port, 1, 115200, 'E', 7, 2, 0));
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
    ASSERT_TRUE(Open(port, 1, 250000));
    EXPECT_EQ(TtyOutputSpeed(port.GetSerialHandle()), 250000);
    CloseOnWindow(port);
    ASSERT_TRUE(Open(port, 1, 14400));
    EXPECT_EQ(TtyOutputSpeed(port.GetSerialHandle()), 14400);
    CloseOnWindow(port);
}

TEST_F(SerialOpenTest, XonXoffFlowKeepsTheLinesAsAsked) {
    CommonUtils port;
    ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, /*flow*/ 1, kAllEvents, /*dtr*/ 0, /*rts*/ 0));
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
        ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, flow, kAllEvents, /*dtr*/ 1, /*rts*/ 0));
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
    ASSERT_TRUE(Open(port, 1, 9600, 'N', 8, 1, 0, kAllEvents, /*dtr*/ 4, /*rts*/ 5));
    EXPECT_EQ(tty_->dtr(), 0);
    EXPECT_EQ(tty_->rts(), 1);
    CloseOnWindow(port);
}

TEST_F(SerialOpenTest, SecondOpenOfTheSamePortFailsAsHeldHereAndShowsNothing) {
    CommonUtils first;
    CommonUtils second;
    ASSERT_TRUE(Open(first, 1));
    const OpenOutcome held = Open(second, 1);
    EXPECT_EQ(held.step, OpenStep::kClaim);
    EXPECT_EQ(held.error, EBUSY);
    EXPECT_EQ(held.holder.pid, getpid());
    EXPECT_TRUE(held.holder.thisProcess);
    EXPECT_TRUE(window_->MessageBoxes().empty()) << "the window words the failure, once";
    EXPECT_EQ(second.portKind(), kPortNone);
    EXPECT_EQ(second.GetSerialHandle(), -1);
    // The first open goes on undisturbed.
    SendOnWindow(first, "still mine");
    EXPECT_EQ(pty_.ReadMaster(10), "still mine");
    CloseOnWindow(first);
    // Once released, the port opens again, also while the old thread may still be ending.
    EXPECT_TRUE(Open(second, 1));
    CloseOnWindow(second);
}

TEST_F(SerialOpenTest, AnotherProgramsLockOrLockFileKeepsThePortAndIsNamed) {
    // A program that flocks the device, as a terminal program does.
    {
        HoldingProgram holder(pty_.slavePath());
        CommonUtils port;
        const OpenOutcome held = Open(port, 1);
        EXPECT_EQ(held.step, OpenStep::kClaim);
        EXPECT_EQ(held.error, EBUSY);
        EXPECT_EQ(held.holder.pid, holder.pid());
        EXPECT_EQ(held.holder.program, "sleep");
        EXPECT_FALSE(held.holder.thisProcess);
    }
    // A live UUCP lock file is kept to, and names its program; a stale one is not.
    ScopedEnv lockDir("QUILLON_LOCK_DIR", root_.MakeDirs("lock"));
    char real[PATH_MAX];
    ASSERT_NE(realpath(pty_.slavePath().c_str(), real), nullptr);
    std::string name = std::string(real).substr(5);  // "pts/3" of /dev/pts/3
    std::replace(name.begin(), name.end(), '/', '_');
    HoldingProgram sleeper;
    root_.WriteFile("lock/LCK.." + name, std::to_string(sleeper.pid()) + "\n");
    CommonUtils port;
    const OpenOutcome locked = Open(port, 1);
    EXPECT_EQ(locked.step, OpenStep::kClaim);
    EXPECT_EQ(locked.holder.pid, sleeper.pid());
    EXPECT_EQ(locked.holder.program, "sleep");
    EXPECT_EQ(port.GetSerialHandle(), -1);
    sleeper.End();
    EXPECT_TRUE(Open(port, 1)) << "the lock's program has ended";
    CloseOnWindow(port);
}

TEST_F(SerialOpenTest, PortWithoutDeviceFailsAsGone) {
    CommonUtils port;
    const OpenOutcome unlisted = Open(port, 5);
    EXPECT_EQ(unlisted.step, OpenStep::kDevice);
    EXPECT_EQ(unlisted.error, ENOENT);
    EXPECT_EQ(unlisted.device, "COM5") << "no device to name";
    const std::string gone = root_.path() + "/no-such-device";
    WriteMap("COM1=" + pty_.slavePath() + "\nCOM6=" + gone + "\n");
    const OpenOutcome missing = Open(port, 6);
    EXPECT_EQ(missing.step, OpenStep::kDevice);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(missing.device, gone);
    EXPECT_EQ(port.portKind(), kPortNone);
    EXPECT_TRUE(window_->MessageBoxes().empty());
}

TEST_F(SerialOpenTest, DeviceThatIsNoTerminalFailsAsSuchAndIsReleased) {
    const std::string file = root_.WriteFile("plain-file", "");
    WriteMap("COM2=" + file + "\n");
    CommonUtils port;
    const OpenOutcome outcome = Open(port, 2);
    EXPECT_EQ(outcome.step, OpenStep::kTerminal);
    EXPECT_EQ(outcome.device, file);
    EXPECT_EQ(port.portKind(), kPortNone);
    EXPECT_EQ(port.GetSerialHandle(), -1);
    // Released: another open of the same file gets as far again.
    CommonUtils other;
    EXPECT_EQ(Open(other, 2).step, OpenStep::kTerminal);
    EXPECT_TRUE(window_->MessageBoxes().empty());
}

TEST_F(SerialOpenTest, BadLineDefinitionFailsAsSuchAndKeepsThePortUntilTheNextOpen) {
    struct Case {
        int baud;
        char parity;
        int data;
        int stop;
    };
    for (const Case c : {Case{9600, 'X', 8, 1}, Case{9600, 'N', 9, 1}, Case{9600, 'N', 4, 1},
                         Case{9600, 'N', 8, 3}, Case{0, 'N', 8, 1}, Case{-9600, 'N', 8, 1}}) {
        CommonUtils port;
        EXPECT_EQ(Open(port, 1, c.baud, c.parity, c.data, c.stop).step, OpenStep::kSettings);
        EXPECT_EQ(port.portKind(), kPortNone);
        EXPECT_GE(port.GetSerialHandle(), 0) << "the port stays held";
        EXPECT_EQ(port.commRunId(), 0u);
        CommonUtils other;
        EXPECT_FALSE(Open(other, 1)) << "held means nobody else gets it";
        // The next OpenSerial of the same object lets go of the held port first.
        EXPECT_TRUE(Open(port, 1));
        CloseOnWindow(port);
    }
    EXPECT_TRUE(window_->MessageBoxes().empty());
}

TEST_F(SerialOpenTest, PortNumbersOfTenAndMoreOpenLikeTheRest) {
    PtyPair second;
    WriteMap("COM9=" + pty_.slavePath() + "\nCOM12=" + second.slavePath() + "\n");
    CommonUtils nine;
    CommonUtils twelve;
    ASSERT_TRUE(Open(nine, 9));
    ASSERT_TRUE(Open(twelve, 12));
    SendOnWindow(twelve, "twelve");
    EXPECT_EQ(second.ReadMaster(6), "twelve");
    SendOnWindow(nine, "nine");
    EXPECT_EQ(pty_.ReadMaster(4), "nine");
    CloseOnWindow(nine);
    CloseOnWindow(twelve);
}

TEST_F(SerialOpenTest, SettingsTextOpensForDirectSendingWithItsOwnFlowControl) {
    CommonUtils port;
    ASSERT_TRUE(port.OpenSerialByText(1, "9600,N,8,1, 2"));
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
        ASSERT_TRUE(port.OpenSerialByText(1, c.text)) << c.text;
        const SerialLineSettings applied = tty_->Applied().back();
        EXPECT_EQ(applied.ctsFlow, c.cts) << c.text;
        EXPECT_EQ(applied.xonXoff, c.xon) << c.text;
        EXPECT_FALSE(applied.dsrFlow) << c.text;
        port.Close();
    }
}

TEST_F(SerialOpenTest, SettingsTextWithFiveFieldsAndItsParityAndStopBits) {
    CommonUtils port;
    ASSERT_TRUE(port.OpenSerialByText(1, "19200,E,7,2, 1"));
    const SerialLineSettings s = tty_->Applied().at(0);
    EXPECT_EQ(s.baudRate, 19200);
    EXPECT_EQ(s.parity, 'E');
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_TRUE(LineOf(port).c_cflag & CSTOPB);
    port.Close();
    ASSERT_TRUE(port.OpenSerialByText(1, "4800,O,8,1, 0"));
    EXPECT_EQ(tty_->Applied().back().parity, 'O');
    port.Close();
    ASSERT_TRUE(port.OpenSerialByText(1, "4800,x,8,1, 0"));
    EXPECT_EQ(tty_->Applied().back().parity, 'N') << "an unknown letter is no parity";
    port.Close();
}

TEST_F(SerialOpenTest, SettingsTextTheLineCannotTakeFailsAndKeepsThePortUntilClose) {
    CommonUtils port;
    EXPECT_FALSE(port.OpenSerialByText(1, "115200"));
    EXPECT_EQ(port.portKind(), kPortNone);
    EXPECT_GE(port.GetSerialHandle(), 0);
    EXPECT_FALSE(port.OpenSerialByText(1, "9600,N,8,1")) << "still held by the failed open";
    port.Close();
    EXPECT_TRUE(port.OpenSerialByText(1, "9600,N,8,1"));
    port.Close();
    EXPECT_TRUE(window_->MessageBoxes().empty());
}

TEST_F(SerialOpenTest, SettingsTextWithANumberThatDoesNotFitFailsWithoutOpening) {
    CommonUtils port;
    // Read with wrap-round these would be 9600 baud and 8 data bits.
    for (const char* text : {"4294976896,N,8,1", "9600,N,4294967304,1"}) {
        EXPECT_FALSE(port.OpenSerialByText(1, text)) << text;
        EXPECT_EQ(port.GetSerialHandle(), -1) << text;
    }
    EXPECT_TRUE(tty_->Applied().empty());
    EXPECT_EQ(port.portKind(), kPortNone);
}

TEST_F(SerialOpenTest, SettingsTextOpenOfAPortInUseFailsWithoutAMessage) {
    CommonUtils window;
    CommonUtils cycle;
    ASSERT_TRUE(Open(window, 1));
    EXPECT_EQ(cycle.OpenSerialByText(1, "9600,N,8,1").step, OpenStep::kClaim);
    EXPECT_EQ(cycle.GetSerialHandle(), -1);
    EXPECT_TRUE(window_->MessageBoxes().empty());
    CloseOnWindow(window);
    EXPECT_TRUE(cycle.OpenSerialByText(1, "9600,N,8,1"));
    cycle.Close();
}

}  // namespace

namespace {

class SerialOverOpenPortTest : public SerialFixture {};

TEST_F(SerialOverOpenPortTest, OpeningASerialPortOverAnOpenUsbPortEndsTheUsbWorkers) {
    PtyPair usb;
    LinkNode(root_.path() + "/dev/usb/lp0", usb.slavePath());
    CommonUtils port;
    OpenOutcome opened;
    window_->Invoke(
        [&] { opened = port.OpenUsb(window_, "/dev/usb/lp0#usb#vid_0416&pid_5011#1"); });
    ASSERT_TRUE(opened);
    ASSERT_TRUE(Open(port, 1));
    EXPECT_EQ(port.portKind(), kPortSerial);
    EXPECT_TRUE(window_->WaitUntil([] { return LiveWorkerCount() == 1; }))
        << LiveWorkerCount() << " workers";
    SendOnWindow(port, "to serial");
    EXPECT_EQ(pty_.ReadMaster(9), "to serial");
    EXPECT_EQ(usb.DrainMaster(100), "");
    CloseOnWindow(port);
}

}  // namespace
