// The main window opening each kind of port and sending through it, driven by its controls,
// against real peers: pseudo-terminals standing in for a serial port (through the port map),
// a parallel port and a USB printer (through a fake device tree), and a network printer on
// loopback.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <chrono>
#include <thread>

#include "app/CQuillonDlg.h"
#include "framework/IpAddressEdit.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/LoopbackPeers.h"

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kCom3 = 0;
constexpr int kLpt1 = 1;
constexpr int kUsb1 = 2;
constexpr int kEthernet = 3;

// Reads what has arrived at a peer without waiting, so the window keeps running meanwhile.
std::string ReadNow(int fd) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// Runs the window until `count` bytes have arrived at the peer or the limit passes.
std::string Collect(int fd, std::size_t count, std::chrono::milliseconds limit = 10s) {
    std::string bytes;
    SpinUntil(
        [&] {
            bytes += ReadNow(fd);
            return bytes.size() >= count;
        },
        limit);
    return bytes;
}

// Everything the peer gets while the window runs for a while.
std::string CollectFor(int fd, std::chrono::milliseconds period) {
    return Collect(fd, static_cast<std::size_t>(-1), period);
}

// Compares long byte strings without printing them whole.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& expected) {
    if (got == expected)
        return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at])
        ++at;
    return ::testing::AssertionFailure() << "got " << got.size() << " bytes, expected "
                                         << expected.size() << "; first difference at " << at;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values)
        bytes += static_cast<char>(v);
    return bytes;
}

class OpenAndSendTest : public ::testing::Test {
  protected:
    OpenAndSendTest()
        : devEnv_("QUILLON_DEV_ROOT", root_.MakeDirs("dev")),
          sysEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports") {
        root_.WriteFile("ports", "COM3=" + serial_.slavePath() + "\n");
        LinkNode(root_.path() + "/dev/lp0", parallel_.slavePath());
        LinkNode(root_.path() + "/dev/usb/lp0", usb_.slavePath());
        const std::string interface = "sys/devices/usb1/1-2/1-2:1.0";
        root_.MakeDirs(interface);
        root_.WriteFile("sys/devices/usb1/1-2/idVendor", "0416\n");
        root_.WriteFile("sys/devices/usb1/1-2/idProduct", "5011\n");
        LinkNode(root_.path() + "/sys/class/usbmisc/lp0/device", root_.path() + "/" + interface);
    }

    void OpenWindow(Language language = Language::English) {
        dialog_ = OpenMainWindow(language, prompts_);
    }
    CQuillonDlg& dlg() { return *dialog_; }

    // Chooses a port entry and presses Open.
    void OpenPort(int entry) {
        Choose(dlg(), IDC_PORT, entry);
        Click(dlg(), IDC_OPEN_CLOSE);
    }
    void Type(const QString& text) { dlg().SetItemText(IDC_SEND_TEXT, text); }
    void SetInterval(const QString& ms) { dlg().SetItemText(IDC_INTERVAL, ms); }
    // Lets the window handle what the port reported.
    void Settle() {
        SpinUntil([] { return false; }, 100ms);
    }
    QStringList Boxes() const {
        QStringList texts;
        for (const auto& box : prompts_->boxes)
            texts << box.text;
        return texts;
    }
    bool ShowsOpenIcon() {
        return dlg().Item<QLabel>(IDC_PORT_ICON)->pixmap().toImage() ==
               dlg().state().port.openIcon.toImage();
    }

    TempDir root_;
    ScopedEnv devEnv_;
    ScopedEnv sysEnv_;
    ScopedEnv mapEnv_;
    PtyPair serial_;
    PtyPair parallel_;
    PtyPair usb_;
    std::shared_ptr<ScriptedPrompts> prompts_ = std::make_shared<ScriptedPrompts>();
    std::unique_ptr<CQuillonDlg> dialog_;
};

TEST_F(OpenAndSendTest, SerialPortSendsHexTextAndNewLinesAndRefusesBadText) {
    OpenWindow();
    EXPECT_EQ(dlg().ItemText(IDC_PORT), "COM3");
    OpenPort(kCom3);
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "COM3 OPENED,9600,N,8,1; CTS=0 DSR=0 RLSD=0");
    EXPECT_EQ(dlg().ItemText(IDC_OPEN_CLOSE), "Close\nPort");
    EXPECT_TRUE(ShowsOpenIcon());
    EXPECT_TRUE(Boxes().isEmpty());
    // The pages that only work with an open port are told.
    EXPECT_TRUE(dlg().Page(kOthersPage)->IsItemEnabled(IDC_CUT_PAPER));
    EXPECT_TRUE(dlg().Page(kTestPage)->IsItemEnabled(IDC_MODEL_BUTTON[0]));

    // "Send NewLine" is ticked in text mode, then "HEX Send" again.
    Click(dlg(), IDC_HEX_SEND);
    Click(dlg(), IDC_SEND_NEWLINE);
    Click(dlg(), IDC_HEX_SEND);
    ASSERT_TRUE(dlg().IsChecked(IDC_HEX_SEND));
    ASSERT_TRUE(dlg().IsChecked(IDC_SEND_NEWLINE));
    Type("1B 40");
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(serial_.master(), 4), Bytes({0x1B, 0x40, 0x0D, 0x0A}));
    EXPECT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_TX_COUNT) == "TX:4"; }));
    EXPECT_EQ(dlg().ItemText(IDC_FILE_LABEL), "Send Completed.");
    // A last lone digit stays a byte of its own before the line end.
    Type("1B 4");
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(serial_.master(), 4), Bytes({0x1B, 0x04, 0x0D, 0x0A}));

    // Hex text that is not hex, or whose digits do not pair up, sends nothing.
    for (const QString bad : {"1B 4G", "1B4", "0x1B"}) {
        prompts_->boxes.clear();
        Type(bad);
        Click(dlg(), IDC_SEND);
        EXPECT_EQ(Boxes(), QStringList{"Can not convert send data to HEX model."})
            << bad.toStdString();
    }
    EXPECT_EQ(CollectFor(serial_.master(), 200ms), "");

    // Text mode with the printer's Chinese mode: the text goes between its switches.
    Click(dlg(), IDC_HEX_SEND);
    Click(dlg(), IDC_SEND_NEWLINE);
    Click(dlg(), IDC_CHINESE_MODE);
    Type("AB");
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(serial_.master(), 6), Bytes({0x1C, 0x26, 'A', 'B', 0x1C, 0x2E}));

    // A character the printer's code page has no place for is named, never replaced.
    prompts_->boxes.clear();
    Type(QString::fromUtf8("caf\u00e9 \u4e2d"));
    Click(dlg(), IDC_SEND);
    ASSERT_EQ(Boxes().size(), 1);
    EXPECT_TRUE(Boxes()[0].contains(QString::fromUtf8("\"\u4e2d\""))) << Boxes()[0].toStdString();
    EXPECT_EQ(CollectFor(serial_.master(), 200ms), "");
    EXPECT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_TX_COUNT) == "TX:14"; }));

    Click(dlg(), IDC_OPEN_CLOSE);
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "Port closed.");
    EXPECT_EQ(dlg().ItemText(IDC_OPEN_CLOSE), "Open\nPort");
    EXPECT_FALSE(ShowsOpenIcon());
    EXPECT_FALSE(dlg().Page(kOthersPage)->IsItemEnabled(IDC_CUT_PAPER));
    EXPECT_FALSE(dlg().Page(kTestPage)->IsItemEnabled(IDC_MODEL_BUTTON[0]));
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_PORT));
    // The counter keeps what was sent.
    EXPECT_EQ(dlg().ItemText(IDC_TX_COUNT), "TX:14");
}

TEST_F(OpenAndSendTest, ChineseWindowSpeaksGb18030AndLargeSendBoxesGoWhole) {
    OpenWindow(Language::Chinese);
    OpenPort(kCom3);
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE),
              QString::fromUtf8("COM3 \u6253\u5f00,9600,N,8,1; CTS=0 DSR=0 RLSD=0"));
    // The window cuts this line short; its tooltip holds it whole, then the session log.
    EXPECT_TRUE(dlg()
                    .GetDlgItem(IDC_PORT_STATE)
                    ->toolTip()
                    .startsWith(dlg().ItemText(IDC_PORT_STATE) +
                                QString::fromUtf8("\n\u4f1a\u8bdd\u65e5\u5fd7")))
        << dlg().GetDlgItem(IDC_PORT_STATE)->toolTip().toStdString();
    EXPECT_EQ(dlg().ItemText(IDC_OPEN_CLOSE), QString::fromUtf8("\u5173\u95ed\n\u7aef\u53e3"));
    Click(dlg(), IDC_HEX_SEND);
    Click(dlg(), IDC_CHINESE_MODE);
    Type(QString::fromUtf8("\u6253\u5370AB"));  // 打印AB
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(serial_.master(), 10),
              Bytes({0x1C, 0x26, 0xB4, 0xF2, 0xD3, 0xA1, 'A', 'B', 0x1C, 0x2E}));

    // A send box of 1 MiB, as text and as hex, arrives whole.
    Click(dlg(), IDC_CHINESE_MODE);
    const QString text(1 << 20, u'x');
    Type(text);
    Click(dlg(), IDC_SEND);
    EXPECT_TRUE(SameBytes(Collect(serial_.master(), 1 << 20, 20s), std::string(1 << 20, 'x')));
    Click(dlg(), IDC_HEX_SEND);
    QString hex;
    for (int i = 0; i < (1 << 20) / 3; ++i)
        hex += QStringLiteral("%1 ").arg(i & 0xFF, 2, 16, QChar(u'0'));
    Type(hex);
    Click(dlg(), IDC_SEND);
    const std::string got = Collect(serial_.master(), (1 << 20) / 3, 20s);
    ASSERT_EQ(got.size(), static_cast<std::size_t>((1 << 20) / 3));
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(got[i]), i & 0xFF) << i;
    // Both texts are still there for their modes.
    EXPECT_TRUE(dlg().ItemText(IDC_SEND_TEXT) == hex);
    Click(dlg(), IDC_HEX_SEND);
    EXPECT_TRUE(dlg().ItemText(IDC_SEND_TEXT) == text);
}

TEST_F(OpenAndSendTest, FailedOpensLeaveTheWindowClosedAndUsable) {
    root_.WriteFile("ports",
                    "COM3=" + serial_.slavePath() + "\nCOM9=" + root_.path() + "/missing\n");
    OpenWindow();
    ASSERT_EQ(dlg().ItemText(IDC_PORT), "COM3");
    // A serial port whose device is missing: the port's own message, then the window's.
    Choose(dlg(), IDC_PORT, 1);
    ASSERT_EQ(dlg().ItemText(IDC_PORT), "COM9");
    Click(dlg(), IDC_OPEN_CLOSE);
    ASSERT_FALSE(Boxes().isEmpty());
    EXPECT_EQ(Boxes().last(), "COM9 Open failed.");
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "Port closed.");
    EXPECT_EQ(dlg().ItemText(IDC_OPEN_CLOSE), "Open\nPort");
    EXPECT_FALSE(ShowsOpenIcon());
    EXPECT_EQ(dlg().state().port.open, 0);

    // A network printer that does not answer its web page.
    prompts_->boxes.clear();
    ProxyFreeEnvironment noProxy;
    Choose(dlg(), IDC_PORT, 4);
    ASSERT_EQ(dlg().ItemText(IDC_PORT), "Ethernet");
    dlg()
        .Item<IpAddressEdit>(IDC_IP_ADDRESS)
        ->SetAddress(QString::fromStdString(RandomLoopbackAddress()));
    Click(dlg(), IDC_OPEN_CLOSE);
    EXPECT_EQ(Boxes(), QStringList{"Ethernet Open failed."});
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "Port closed.");

    // The window still opens a port that is there.
    Choose(dlg(), IDC_PORT, 0);
    Click(dlg(), IDC_OPEN_CLOSE);
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "COM3 OPENED,9600,N,8,1; CTS=0 DSR=0 RLSD=0");
}

TEST_F(OpenAndSendTest, ParallelPortOpensAfreshAfterEachWriteAndUsbPrinterTakesBytes) {
    OpenWindow();
    OpenPort(kLpt1);
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "LPT1 OPENED.");
    Click(dlg(), IDC_HEX_SEND);
    Type("first");
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(parallel_.master(), 5), "first");
    ASSERT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_TX_COUNT) == "TX:5"; }));
    // Two sends handed over at once both arrive: the port is opened afresh only once
    // nothing handed over is still waiting.
    dlg().SendData("one,", 0, 0, 1);
    dlg().SendData("two", 0, 0, 1);
    EXPECT_EQ(Collect(parallel_.master(), 7), "one,two");
    ASSERT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_TX_COUNT) == "TX:12"; }));
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(parallel_.master(), 5), "first");
    ASSERT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_TX_COUNT) == "TX:17"; }));

    // The port goes away: opening it afresh fails, and the window says so and closes.
    unlink((root_.path() + "/dev/lp0").c_str());
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(parallel_.master(), 5), "first");
    EXPECT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_PORT_STATE) == "Port closed."; }));
    EXPECT_EQ(Boxes(), QStringList{"LPT1 Open failed."});
    EXPECT_EQ(dlg().ItemText(IDC_OPEN_CLOSE), "Open\nPort");

    OpenPort(kUsb1);
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "USB1 OPENED.");
    EXPECT_EQ(dlg().state().port.usbDevicePath, "/dev/usb/lp0#usb#vid_0416&pid_5011#1-2:1.0");
    Type("usb!");
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(usb_.master(), 4), "usb!");
    Click(dlg(), IDC_OPEN_CLOSE);
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "Port closed.");
}

TEST_F(OpenAndSendTest, NetworkPrinterTakesBytesAndHangingUpClosesThePort) {
    ProxyFreeEnvironment noProxy;
    START_PAGE(page, [](const std::string&) { return StatusReply(200, "OK"); });
    TcpListener raw(address, 9100);
    ASSERT_EQ(raw.error(), 0);
    OpenWindow();
    Choose(dlg(), IDC_PORT, kEthernet);
    dlg().Item<IpAddressEdit>(IDC_IP_ADDRESS)->SetAddress(QString::fromStdString(address));
    Click(dlg(), IDC_OPEN_CLOSE);
    ASSERT_EQ(dlg().ItemText(IDC_PORT_STATE), "Ethernet OPENED.");
    const int peer = raw.Accept(5000);
    ASSERT_GE(peer, 0);
    fcntl(peer, F_SETFL, fcntl(peer, F_GETFL) | O_NONBLOCK);
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_IP_ADDRESS));
    Type("1D 56 42 00");
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(peer, 4), Bytes({0x1D, 0x56, 0x42, 0x00}));

    // The printer hangs up: the port closes first, then the window says why.
    close(peer);
    EXPECT_TRUE(SpinUntil([&] { return !prompts_->boxes.empty(); }));
    EXPECT_EQ(Boxes(), QStringList{"Connection has been broken!"});
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "Port closed.");
    EXPECT_EQ(dlg().ItemText(IDC_OPEN_CLOSE), "Open\nPort");
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_IP_ADDRESS));
}

TEST_F(OpenAndSendTest, FileSendsGoWholeAndRawAndBadFilesAreRefusedWithTheReason) {
    OpenWindow();
    std::string binary;
    for (int i = 0; i < 3 * 65536 + 7; ++i)
        binary += static_cast<char>(i * 7);
    const std::string file = root_.WriteFile("job.bin", binary);
    // Browse is usable once a port is open.
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_BROWSE));
    OpenPort(kCom3);
    prompts_->fileAnswers << QString::fromStdString(file);
    Click(dlg(), IDC_BROWSE);
    EXPECT_EQ(dlg().ItemText(IDC_FILE_LABEL), QString::fromStdString(file));
    ASSERT_TRUE(dlg().IsItemEnabled(IDC_SEND_FILE));

    // Raw: no line end, no Chinese mode, whatever the boxes say.
    Click(dlg(), IDC_HEX_SEND);
    Click(dlg(), IDC_SEND_NEWLINE);
    Click(dlg(), IDC_CHINESE_MODE);
    Click(dlg(), IDC_SEND_FILE);
    EXPECT_TRUE(SameBytes(Collect(serial_.master(), binary.size()), binary));
    EXPECT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_FILE_LABEL) == "Send Completed."; }));
    EXPECT_EQ(dlg().ItemText(IDC_TX_COUNT), QStringLiteral("TX:%1").arg(binary.size()));
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_SEND_FILE));

    // With "HEX Send" ticked the file holds hex text.
    Click(dlg(), IDC_HEX_SEND);
    const std::string hexFile = root_.WriteFile("job.hex", "1B 40\r\n1D 56 42 00\n");
    prompts_->fileAnswers << QString::fromStdString(hexFile);
    Click(dlg(), IDC_BROWSE);
    Click(dlg(), IDC_SEND_FILE);
    EXPECT_EQ(Collect(serial_.master(), 6), Bytes({0x1B, 0x40, 0x1D, 0x56, 0x42, 0x00}));
    EXPECT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_FILE_LABEL) == "Send Completed."; }));
    Click(dlg(), IDC_HEX_SEND);

    // Files that cannot be sent: each says why, none sends a byte or holds the window.
    const std::string fifo = root_.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string sparse = root_.path() + "/huge.bin";
    ASSERT_EQ(truncate(root_.WriteFile("huge.bin", "").c_str(), (256ll << 20) + 1), 0);
    const struct {
        std::string path;
        QString reason;  // what the message says after "Open file failed!"; empty: no message
    } cases[] = {
        {root_.path(), QString::fromStdString(root_.path()) + " is a folder."},
        {root_.path() + "/gone.bin",
         QString::fromStdString(root_.path()) + "/gone.bin: No such file or directory"},
        {"/dev/zero", "/dev/zero holds more than 256 MiB; a file send takes at most 256 MiB."},
        {sparse, QString::fromStdString(sparse) +
                     " holds more than 256 MiB; a file send takes at most 256 MiB."},
        {root_.WriteFile("empty.bin", ""), QString()},
        {fifo, QString()},  // nobody writes to it: nothing to send
    };
    for (const auto& c : cases) {
        prompts_->boxes.clear();
        prompts_->fileAnswers << QString::fromStdString(c.path);
        Click(dlg(), IDC_BROWSE);
        Click(dlg(), IDC_SEND_FILE);
        if (c.reason.isEmpty())
            EXPECT_TRUE(Boxes().isEmpty()) << c.path;
        else
            EXPECT_EQ(Boxes(), QStringList{"Open file failed!\n" + c.reason}) << c.path;
        EXPECT_TRUE(dlg().IsItemEnabled(IDC_SEND_FILE)) << c.path;
    }
    EXPECT_EQ(CollectFor(serial_.master(), 200ms), "");
}

TEST_F(OpenAndSendTest, LongFileSendShowsProgressAndStopsCleanlyOnClose) {
    OpenWindow();
    const std::string big(8 << 20, 'p');
    const std::string file = root_.WriteFile("big.bin", big);
    OpenPort(kUsb1);
    Click(dlg(), IDC_HEX_SEND);
    prompts_->fileAnswers << QString::fromStdString(file);
    Click(dlg(), IDC_BROWSE);
    Click(dlg(), IDC_SEND_FILE);
    // The peer takes a little and then nothing: the send waits part of the way.
    const std::string some = Collect(usb_.master(), 100000);
    ASSERT_GE(some.size(), 100000u);
    QString label;
    EXPECT_TRUE(SpinUntil([&] {
        label = dlg().ItemText(IDC_FILE_LABEL);
        return label.startsWith("Sending... ") && !label.startsWith("Sending... 0 ");
    }));
    EXPECT_TRUE(label.endsWith(" / 8388608 bytes")) << label.toStdString();
    // While it runs nothing else starts a send; the window stays usable.
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_SEND));
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_SEND_FILE));
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_BROWSE));
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_OPEN_CLOSE));
    const auto before = Clock::now();
    Click(dlg(), IDC_OPEN_CLOSE);
    EXPECT_LT(Clock::now() - before, 2s);  // closing never waits for the writer
    EXPECT_EQ(dlg().ItemText(IDC_PORT_STATE), "Port closed.");
    EXPECT_EQ(dlg().ItemText(IDC_FILE_LABEL), QString::fromStdString(file));
    Settle();
    // What was reported written stays counted and is no more than the file.
    const unsigned long counted = dlg().ItemText(IDC_TX_COUNT).mid(3).toULong();
    EXPECT_GT(counted, 0u);
    EXPECT_LE(counted, big.size());
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(OpenAndSendTest, AFileThatBecomesShorterUnderTheSendCompletesWithWhatItHolds) {
    OpenWindow();
    std::string content(8 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 13 + i / 4093);
    const std::string file = root_.WriteFile("shrinking.bin", content);
    OpenPort(kUsb1);
    Click(dlg(), IDC_HEX_SEND);
    prompts_->fileAnswers << QString::fromStdString(file);
    Click(dlg(), IDC_BROWSE);
    Click(dlg(), IDC_SEND_FILE);
    // The peer takes 100000 bytes and stops; meanwhile the file is cut to 1 MiB.
    std::string got;
    SpinUntil([&] {
        char buffer[4096];
        const ssize_t n = read(usb_.master(), buffer, std::min(sizeof buffer, 100000 - got.size()));
        if (n > 0)
            got.append(buffer, static_cast<std::size_t>(n));
        return got.size() == 100000;
    });
    ASSERT_EQ(got.size(), 100000u);
    ASSERT_EQ(truncate(file.c_str(), 1 << 20), 0);
    got += Collect(usb_.master(), (1 << 20) - got.size());
    EXPECT_TRUE(SameBytes(got, content.substr(0, 1 << 20)));
    EXPECT_TRUE(SpinUntil([&] { return dlg().ItemText(IDC_FILE_LABEL) == "Send Completed."; }));
    EXPECT_EQ(dlg().ItemText(IDC_TX_COUNT), "TX:1048576");
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_SEND_FILE));
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(CollectFor(usb_.master(), 200ms), "");
}

TEST_F(OpenAndSendTest, AutoSendRepeatsAtTheIntervalAndStopsWhenUnticked) {
    OpenWindow();
    OpenPort(kCom3);
    Click(dlg(), IDC_HEX_SEND);
    Type("a");
    // An interval of 0 is refused.
    SetInterval("0");
    Click(dlg(), IDC_AUTO_SEND);
    EXPECT_EQ(Boxes(), QStringList{"Cycle time must greater than 0."});
    EXPECT_FALSE(dlg().IsChecked(IDC_AUTO_SEND));
    EXPECT_EQ(dlg().state().timers.autoSend, 0);

    // At 150 ms the sends arrive spaced by at least the interval.
    SetInterval("150");
    Click(dlg(), IDC_AUTO_SEND);
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_SEND_TEXT));
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_SEND));
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_AUTO_SEND));
    std::vector<Clock::time_point> arrivals;
    SpinUntil(
        [&] {
            for (std::size_t n = ReadNow(serial_.master()).size(); n > 0; --n)
                arrivals.push_back(Clock::now());
            return arrivals.size() >= 5;
        },
        10s);
    ASSERT_GE(arrivals.size(), 5u);
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        EXPECT_GE(arrivals[i] - arrivals[i - 1], 120ms) << i;
    Click(dlg(), IDC_AUTO_SEND);
    Settle();
    ReadNow(serial_.master());
    EXPECT_EQ(CollectFor(serial_.master(), 400ms), "");

    // At 1 ms the window still handles its other events while the sends run.
    SetInterval("1");
    Click(dlg(), IDC_AUTO_SEND);
    bool handled = false;
    QTimer::singleShot(50, [&] { handled = true; });
    EXPECT_TRUE(SpinUntil([&] { return handled; }, 5s));
    EXPECT_GT(CollectFor(serial_.master(), 300ms).size(), 10u);
    // Closing unticks it first: nothing follows the close.
    Click(dlg(), IDC_OPEN_CLOSE);
    EXPECT_FALSE(dlg().IsChecked(IDC_AUTO_SEND));
    Settle();
    ReadNow(serial_.master());
    EXPECT_EQ(CollectFor(serial_.master(), 300ms), "");
    EXPECT_FALSE(dlg().IsTimerRunning(1));
}

TEST_F(OpenAndSendTest, SendModesSwapTextsRepeatTheFileAndStopOnACycleFailure) {
    OpenWindow();
    OpenPort(kCom3);
    // Each mode of the send box keeps its own text.
    Type("1B 40");
    Click(dlg(), IDC_HEX_SEND);
    EXPECT_EQ(dlg().ItemText(IDC_SEND_TEXT), "");
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_SEND_NEWLINE));
    Type("abc");
    Click(dlg(), IDC_HEX_SEND);
    EXPECT_EQ(dlg().ItemText(IDC_SEND_TEXT), "1B 40");
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_SEND_NEWLINE));
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_CHINESE_MODE));
    Click(dlg(), IDC_HEX_SEND);
    EXPECT_EQ(dlg().ItemText(IDC_SEND_TEXT), "abc");

    // The file sent again and again at the interval.
    const std::string file = root_.WriteFile("ticket.txt", "TICKET\r\n");
    prompts_->fileAnswers << QString::fromStdString(file);
    Click(dlg(), IDC_BROWSE);
    SetInterval("0");
    Click(dlg(), IDC_FILE_AUTO_SEND);
    EXPECT_EQ(Boxes(), QStringList{"Cycle time must greater than 0."});
    EXPECT_FALSE(dlg().IsChecked(IDC_FILE_AUTO_SEND));
    EXPECT_EQ(dlg().state().timers.fileAutoSend, 0);
    SetInterval("100");
    Click(dlg(), IDC_FILE_AUTO_SEND);
    EXPECT_EQ(Collect(serial_.master(), 24), "TICKET\r\nTICKET\r\nTICKET\r\n");
    // The text auto send runs beside it; its box is held only while a file piece is on its way.
    ASSERT_TRUE(SpinUntil([&] { return dlg().IsItemEnabled(IDC_AUTO_SEND); }));
    Click(dlg(), IDC_AUTO_SEND);
    ASSERT_TRUE(dlg().IsChecked(IDC_AUTO_SEND));
    const std::string both = Collect(serial_.master(), 40);
    EXPECT_NE(both.find("abc"), std::string::npos);
    EXPECT_NE(both.find("TICKET"), std::string::npos);

    // A cycle page whose repeating run failed stops both.
    prompts_->boxes.clear();
    dlg().SendMessage(UM_CYCLE_FAILED);
    EXPECT_FALSE(dlg().IsChecked(IDC_AUTO_SEND));
    EXPECT_FALSE(dlg().IsChecked(IDC_FILE_AUTO_SEND));
    EXPECT_EQ(dlg().state().timers.autoSend, 0);
    EXPECT_EQ(dlg().state().timers.fileAutoSend, 0);
    Settle();
    ReadNow(serial_.master());
    EXPECT_EQ(CollectFor(serial_.master(), 400ms), "");
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(OpenAndSendTest, WithThePortClosedSendGoesThroughTheComCyclePageAndAFailedRunStopsBoth) {
    OpenWindow();
    ASSERT_EQ(dlg().ItemText(IDC_PORT), "COM3");
    auto* multiple = dlg().Item<QComboBox>(IDC_MULTIPLE);
    ASSERT_NE(multiple, nullptr);
    Choose(dlg(), IDC_MULTIPLE, multiple->findText("YES"));
    ASSERT_EQ(dlg().ItemText(IDC_MULTIPLE), "YES");
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_OPEN_CLOSE));
    EXPECT_FALSE(dlg().IsItemEnabled(IDC_SEND)) << "nothing ticked to send to yet";

    // The page reports a failed port itself; its boxes are recorded with the window's.
    dlg().Page(kComCyclePage)->SetPrompts(prompts_);
    auto* rows = dlg().Page(kComCyclePage)->Item<QTableWidget>(IDC_COM_LIST);
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows->rowCount(), 1);
    ASSERT_EQ(rows->item(0, 1)->text(), "COM3");
    rows->item(0, 0)->setCheckState(Qt::Checked);
    ASSERT_TRUE(dlg().IsItemEnabled(IDC_SEND));

    // Send with the port closed: one pass over the ticked row.
    dlg().SetChecked(IDC_HEX_SEND, true);
    Type("1B 40 41");
    Click(dlg(), IDC_SEND);
    EXPECT_EQ(Collect(serial_.master(), 3), Bytes({0x1B, 0x40, 0x41}));
    EXPECT_EQ(dlg().state().port.open, 0);
    EXPECT_TRUE(Boxes().isEmpty());

    // The row's device goes away, and both automatic sends start runs over it: the run
    // that fails stops both boxes.
    root_.WriteFile("ports", "COM3=" + root_.path() + "/gone\n");
    const std::string file = root_.WriteFile("ticket.txt", "TICKET\r\n");
    prompts_->fileAnswers << QString::fromStdString(file);
    Click(dlg(), IDC_BROWSE);
    SetInterval("100");
    Click(dlg(), IDC_FILE_AUTO_SEND);
    Click(dlg(), IDC_AUTO_SEND);
    ASSERT_TRUE(dlg().IsChecked(IDC_AUTO_SEND));
    ASSERT_TRUE(dlg().IsChecked(IDC_FILE_AUTO_SEND));
    EXPECT_TRUE(SpinUntil(
        [&] { return !dlg().IsChecked(IDC_AUTO_SEND) && !dlg().IsChecked(IDC_FILE_AUTO_SEND); }));
    EXPECT_EQ(Boxes().value(0), "COM3 Open failed.");
    EXPECT_EQ(dlg().state().timers.autoSend, 0);
    EXPECT_EQ(dlg().state().timers.fileAutoSend, 0);
    EXPECT_TRUE(dlg().IsItemEnabled(IDC_SEND)) << "the window is usable again";
}

}  // namespace
