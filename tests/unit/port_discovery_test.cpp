// Finding ports in a fake device tree: serial numbering and the port map, parallel
// ports that open, USB printers with their interface paths, and the address text.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/FakeDevices.h"
#include "tests/support/TestWindow.h"
#include "transport/CommonUtils.h"
#include "transport/PortDiscovery.h"
#include "transport/PortMapFile.h"
#include "transport/SerialPortNames.h"

using namespace quillon;

namespace {

using Names = std::vector<std::string>;

class PortDiscoveryTest : public ::testing::Test {
  protected:
    PortDiscoveryTest()
        : devEnv_("QUILLON_DEV_ROOT", root_.MakeDirs("dev")),
          sysEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports") {}

    // A tty in the device tree; with a driver unless told otherwise. uartType < 0: no
    // "type" attribute.
    void AddTty(const std::string& name, bool hardware = true, int uartType = -1) {
        const std::string folder = "sys/class/tty/" + name;
        root_.WriteFile(folder + "/uevent", "MAJOR=4\nMINOR=64\nDEVNAME=" + name + "\n");
        if (hardware)
            LinkNode(root_.path() + "/" + folder + "/device", "../../../devices/" + name);
        if (uartType >= 0)
            root_.WriteFile(folder + "/type", std::to_string(uartType) + "\n");
    }

    // A usblp interface of a USB device with the given ids ("" leaves them out).
    void AddUsbPrinter(const std::string& name, const std::string& busPort,
                       const std::string& vendor, const std::string& product) {
        const std::string device = "sys/devices/pci0000:00/usb1/" + busPort;
        const std::string interface = device + "/" + busPort + ":1.0";
        root_.MakeDirs(interface);
        if (!vendor.empty())
            root_.WriteFile(device + "/idVendor", vendor + "\n");
        if (!product.empty())
            root_.WriteFile(device + "/idProduct", product + "\n");
        const std::string folder = "sys/class/usbmisc/" + name;
        root_.WriteFile(folder + "/uevent", "MAJOR=180\nDEVNAME=usb/" + name + "\n");
        LinkNode(root_.path() + "/" + folder + "/device", root_.path() + "/" + interface);
    }

    void WriteMap(const std::string& content) { root_.WriteFile("ports", content); }

    static Names Serial() {
        Names list;
        EnumSerialPorts(list);
        return list;
    }

    TempDir root_;
    ScopedEnv devEnv_;
    ScopedEnv sysEnv_;
    ScopedEnv mapEnv_;
};

TEST_F(PortDiscoveryTest, EmptyTreeGivesEmptyLists) {
    EXPECT_TRUE(Serial().empty());
    Names parallel;
    EnumParallelPorts(parallel);
    EXPECT_TRUE(parallel.empty());
    Names usb;
    EnumUsbPrinters(usb);
    EXPECT_TRUE(usb.empty());
    // The caller's list is appended to, never emptied.
    Names kept{"keep"};
    EnumSerialPorts(kept);
    EXPECT_EQ(kept, Names{"keep"});
}

TEST_F(PortDiscoveryTest, HardwareTtysGetTheirComNumbers) {
    AddTty("ttyS0", true, 4);  // a 16550A
    AddTty("ttyS1", true, 0);  // a slot without a UART
    AddTty("ttyS2");           // no type attribute, no device node: not a UART
    AddTty("ttyUSB1");
    AddTty("ttyUSB0");
    AddTty("ttyACM0");
    AddTty("ttyAMA10");
    AddTty("ttyAMA2");
    AddTty("ttyXRUSB0");
    AddTty("tty0", false);  // a virtual console
    AddTty("ptmx", false);
    EXPECT_EQ(Serial(), (Names{"COM1", "COM33", "COM34", "COM65", "COM97", "COM98", "COM99"}));
    const auto ports = FindSerialPorts();
    const std::string dev = root_.path() + "/dev/";
    for (const auto& port : ports) {
        if (port.name == "COM33") {
            EXPECT_EQ(port.device, dev + "ttyUSB0");
        } else if (port.name == "COM97") {
            EXPECT_EQ(port.device, dev + "ttyAMA2") << "natural name order: 2 before 10";
        } else if (port.name == "COM99") {
            EXPECT_EQ(port.device, dev + "ttyXRUSB0");
        }
    }
    EXPECT_EQ(SerialDeviceForPort(1), dev + "ttyS0");
    EXPECT_EQ(SerialDeviceForPort(2), "");
}

TEST_F(PortDiscoveryTest, BuiltInPortWithoutTypeAttributeIsAskedThroughItsDevice) {
    // A pseudo-terminal answers no TIOCGSERIAL, so it is no UART.
    PtyPair pty;
    AddTty("ttyS3");
    LinkNode(root_.path() + "/dev/ttyS3", pty.slavePath());
    EXPECT_TRUE(Serial().empty());
}

TEST_F(PortDiscoveryTest, PortMapAddsPortsAndReplacesDevices) {
    AddTty("ttyUSB0");
    WriteMap(
        "# test printers\n"
        "\n"
        "COM33 = /tmp/elsewhere\n"
        "COM5=ttyVIRT0\n"
        "com7=/dev/pts/99\n"
        "COM=nothing\n"
        "COMx=/dev/null\n"
        "COM0=/dev/null\n"
        "LPT1=/dev/lp0\n"
        "junk line\n");
    EXPECT_EQ(Serial(), (Names{"COM5", "COM7", "COM33"}));
    EXPECT_EQ(SerialDeviceForPort(33), "/tmp/elsewhere");
    EXPECT_EQ(SerialDeviceForPort(5), root_.path() + "/dev/ttyVIRT0");
    EXPECT_EQ(SerialDeviceForPort(7), "/dev/pts/99") << "absolute paths are taken as written";
}

TEST_F(PortDiscoveryTest, PortMapPathsAreUsedAsWrittenButOnlyTerminalsAreOpened) {
    PtyPair pty;
    const std::string plain = root_.WriteFile("plain", "");
    const std::string fifo = root_.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A relative path is taken below the device root, ".." and all.
    const std::string relative =
        std::filesystem::relative(pty.slavePath(), root_.path() + "/dev").string();
    ASSERT_EQ(relative.rfind("../", 0), 0u) << relative;
    WriteMap("COM2=" + plain + "\nCOM3=" + fifo + "\nCOM4=" + relative + "\nCOM5=" +
             pty.slavePath() + std::string("\0x", 2) + "\nCOM4294967297=" + pty.slavePath() + "\n");
    EXPECT_EQ(Serial(), (Names{"COM2", "COM3", "COM4"}));
    EXPECT_EQ(SerialDeviceForPort(5), "") << "a NUL in the path ends the entry";

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, plain.c_str(), IN_OPEN), 0);
    ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
    CommonUtils port;
    EXPECT_EQ(port.OpenSerialByText(2, "9600,N,8,1"), 0);
    EXPECT_EQ(port.OpenSerialByText(3, "9600,N,8,1"), 0);
    EXPECT_EQ(port.OpenSerialByText(5, "9600,N,8,1"), 0);
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "a file that is no terminal was opened";
    close(watch);

    ASSERT_EQ(port.OpenSerialByText(4, "9600,N,8,1"), 1);
    port.SendDirect("rel", 3);
    EXPECT_EQ(pty.ReadMaster(3), "rel");
    port.Close();
}

TEST_F(PortDiscoveryTest, LinesOfEndedPrintersAreNoPortsAndCommentsAreNoPaths) {
    // A printer that has ended: its pid names no process any more.
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    WriteMap("COM9=/dev/pts/98 # quillon-printer pid " + std::to_string(ended) +
             "\nCOM10=/dev/pts/99 # quillon-printer pid " + std::to_string(getpid()) +
             "\nCOM11=/tmp/printer#2\t# the one by the window\n");
    EXPECT_EQ(Serial(), (Names{"COM10", "COM11"}));
    EXPECT_EQ(SerialDeviceForPort(10), "/dev/pts/99");
    EXPECT_EQ(SerialDeviceForPort(11), "/tmp/printer#2");
}

TEST_F(PortDiscoveryTest, OnlyABoundedRegularFileIsReadAsTheMap) {
    // A map that never ends, a FIFO nobody writes to and a map of 2 MiB are each ignored at
    // once, for a reason that can be told.
    const std::string fifo = root_.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string large =
        root_.WriteFile("large", "COM4=/dev/pts/4\n" + std::string(2 << 20, '#'));
    const std::vector<std::pair<std::string, std::string>> ignored = {
        {"/dev/zero", "it is not a regular file"},
        {fifo, "it is not a regular file"},
        {large, "it holds more than 1024 KiB"}};
    for (const auto& [map, why] : ignored) {
        ScopedEnv use("QUILLON_PORT_MAP", map);
        EXPECT_TRUE(Serial().empty()) << map;
        std::string text, problem;
        EXPECT_FALSE(ReadPortMapFile(map, text, problem)) << map;
        EXPECT_EQ(problem, why);
    }
    // A map that is a symlink to a regular file is read where it leads.
    LinkNode(root_.path() + "/link", root_.WriteFile("real", "COM4=/dev/pts/4\n"));
    ScopedEnv use("QUILLON_PORT_MAP", root_.path() + "/link");
    EXPECT_EQ(Serial(), Names{"COM4"});
}

TEST_F(PortDiscoveryTest, PortsSortByTheirNumber) {
    WriteMap("COM10=/a\nCOM2=/b\nCOM1=/c\n");
    EXPECT_EQ(Serial(), (Names{"COM1", "COM2", "COM10"}));
    WriteMap("COM10=/a\nCOM9=/b\nCOM100=/c\nCOM1=/d\n");
    EXPECT_EQ(Serial(), (Names{"COM1", "COM9", "COM10", "COM100"}));
}

TEST_F(PortDiscoveryTest, SortKeepsTheOrderOfEqualNumbers) {
    Names names{"COM3", "XYZ2", "COM2", "ABC1", "COMx"};
    SortPortNamesByNumber(names);
    EXPECT_EQ(names, (Names{"COMx", "ABC1", "XYZ2", "COM2", "COM3"}));
    Names one{"COM4"};
    SortPortNamesByNumber(one);
    EXPECT_EQ(one, Names{"COM4"});
}

TEST_F(PortDiscoveryTest, PortMapFallsBackToTheConfigFolder) {
    ScopedEnv noMap("QUILLON_PORT_MAP", "");
    ScopedEnv config("XDG_CONFIG_HOME", root_.path() + "/config");
    root_.WriteFile("config/Quillon/ports", "COM4=/dev/pts/7\n");
    EXPECT_EQ(PortMapPath(), root_.path() + "/config/Quillon/ports");
    EXPECT_EQ(Serial(), Names{"COM4"});
}

TEST_F(PortDiscoveryTest, MappedHardwarePortOpensItsDevice) {
    PtyPair pty;
    AddTty("ttyUSB0");
    LinkNode(root_.path() + "/dev/ttyUSB0", pty.slavePath());
    CommonUtils port;
    ASSERT_EQ(port.OpenSerialByText(33, "9600,N,8,1"), 1);
    port.SendDirect("usb0", 4);
    EXPECT_EQ(pty.ReadMaster(4), "usb0");
    port.Close();
}

TEST_F(PortDiscoveryTest, ParallelPortsThatOpenAreListedInOrder) {
    const std::string dev = root_.path() + "/dev/";
    // lp0: a FIFO with a reader behind it opens for writing.
    ASSERT_EQ(mkfifo((dev + "lp0").c_str(), 0600), 0);
    const int reader = open((dev + "lp0").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    // lp2: a node whose device is gone; lp3: a FIFO nobody reads does not open.
    LinkNode(dev + "lp2", root_.path() + "/gone");
    ASSERT_EQ(mkfifo((dev + "lp3").c_str(), 0600), 0);
    PtyPair pty;
    LinkNode(dev + "lp19", pty.slavePath());
    LinkNode(dev + "lp20", pty.slavePath());  // there is no LPT21
    Names list;
    EnumParallelPorts(list);
    EXPECT_EQ(list, (Names{"LPT1", "LPT20"}));
    close(reader);
}

TEST_F(PortDiscoveryTest, UsbPrintersInDiscoveryOrderWithTheirPaths) {
    AddUsbPrinter("lp10", "1-4", "0519", "0003");
    AddUsbPrinter("lp0", "1-2", "067b", "2305");
    AddUsbPrinter("lp2", "1-3", "", "");
    AddUsbPrinter("lp1", "2-1.3", "0416", "5011");
    root_.MakeDirs("sys/class/usbmisc/hiddev0");
    Names list;
    EnumUsbPrinters(list);
    EXPECT_EQ(list, (Names{"/dev/usb/lp0#usb#vid_067b&pid_2305#1-2:1.0",
                           "/dev/usb/lp1#usb#vid_0416&pid_5011#2-1.3:1.0",
                           "/dev/usb/lp2#usb#vid_&pid_#1-3:1.0",
                           "/dev/usb/lp10#usb#vid_0519&pid_0003#1-4:1.0"}));
    const auto printers = FindUsbPrinters();
    ASSERT_EQ(printers.size(), 4u);
    EXPECT_EQ(printers[1].node, "/dev/usb/lp1");
    EXPECT_EQ(printers[1].vendorId, "0416");
    EXPECT_EQ(printers[1].productId, "5011");
}

TEST_F(PortDiscoveryTest, ListedUsbPathOpensItsNodeAndKeepsTheWriteOnlyRule) {
    PtyPair printer;
    LinkNode(root_.path() + "/dev/usb/lp0", printer.slavePath());
    AddUsbPrinter("lp0", "1-2", "067b", "2305");
    Names list;
    EnumUsbPrinters(list);
    ASSERT_EQ(list.size(), 1u);
    auto window = std::make_shared<TestWindow>();
    CommonUtils port;
    int opened = 0;
    window->Invoke([&] { opened = port.OpenUsb(window, list[0].c_str()); });
    ASSERT_EQ(opened, 1);
    EXPECT_EQ(port.readBack(), 0) << "vid_067b&pid_2305 is write-only";
    window->Invoke([&] { port.Send("lp", 2); });
    EXPECT_EQ(printer.ReadMaster(2), "lp");
    window->Invoke([&] { port.Close(); });
}

TEST(FormatIpAddressTest, FourFieldsWithDots) {
    EXPECT_EQ(FormatIpAddress(192, 168, 1, 114), "192.168.1.114");
    EXPECT_EQ(FormatIpAddress(127, 0, 0, 1), "127.0.0.1");
    EXPECT_EQ(FormatIpAddress(0, 0, 0, 0), "0.0.0.0");
    EXPECT_EQ(FormatIpAddress(255, 255, 255, 255), "255.255.255.255");
}

}  // namespace
