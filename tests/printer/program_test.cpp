// The real quillon-printer, headless: through its pseudo-terminal, its raw TCP ports and its
// web page, it prints to PNG pages and answers as a printer does.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/printer/EngineHarness.h"
#include "tests/printer/ImageChecks.h"
#include "tests/printer/PrinterProcess.h"
#include "tests/support/LoopbackPeers.h"
#include "transport/platform/PrinterSocket.h"

using namespace quillon;

namespace {

std::string ReadMap(const std::string& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(PrinterProgram, PrintsAndAnswersThroughItsTerminalAndSurvivesClientsComingAndGoing) {
    TempDir dir;
    dir.WriteFile("ports", "COM3=/dev/null-stand-in\n");
    // Links someone planted in the page folder, at a page's name and at a name a careless
    // writer would use for its temporary file: neither is written through.
    const std::string theirs = dir.path() + "/theirs";
    dir.MakeDirs("pages");
    for (const char* planted : {"pages/job-0001-01.png", "pages/.job-0001-01.png"})
        std::filesystem::create_symlink(theirs, dir.path() + "/" + planted);
    PrinterProcess printer(dir, RandomLoopbackAddress());
    const std::string device = printer.WaitForPort();
    ASSERT_FALSE(device.empty()) << printer.errors();
    EXPECT_NE(ReadMap(printer.mapFile()).find("COM3=/dev/null-stand-in\nCOM9=" + device),
              std::string::npos);

    int fd = OpenClient(device);
    ASSERT_GE(fd, 0);
    const std::string job = Bytes("1B 40 'Hello from the pty' 0A 1D 56 42 00 10 04 01");
    ASSERT_EQ(write(fd, job.data(), job.size()), static_cast<ssize_t>(job.size()));
    EXPECT_EQ(ReadFor(fd, 1, 5000), "\x16");
    const std::string page = printer.WaitForPage(1);
    ASSERT_FALSE(page.empty()) << printer.errors();
    const QImage image(QString::fromStdString(page));
    ASSERT_EQ(image.width(), 576);
    EXPECT_GT(BlackIn(image, QRect(0, 0, 18 * 12, 24)), 200);  // the text
    EXPECT_EQ(CutLineRows(image), 2);
    EXPECT_FALSE(std::filesystem::is_symlink(page));
    EXPECT_FALSE(std::filesystem::exists(theirs));
    close(fd);

    // With no client the printer idles instead of spinning on a hung-up terminal.
    const long before = printer.CpuTicks();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(printer.CpuTicks() - before, sysconf(_SC_CLK_TCK) / 4);

    // A new client is answered as the first was.
    fd = OpenClient(device);
    ASSERT_GE(fd, 0);
    const std::string query = Bytes("10 04 02 1D 72 02");
    ASSERT_EQ(write(fd, query.data(), query.size()), static_cast<ssize_t>(query.size()));
    EXPECT_EQ(ReadFor(fd, 2, 5000), Bytes("12 01"));
    close(fd);

    // Ended from outside it takes its line out of the map and keeps the others.
    EXPECT_EQ(printer.Stop(), 0);
    EXPECT_EQ(ReadMap(printer.mapFile()), "COM3=/dev/null-stand-in\n");
}

TEST(PrinterProgram, RawTcpPortsPrintAndAnswerAndTheWebPageSays200) {
    TempDir dir;
    ProxyFreeEnvironment noProxy;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address, "--width 58 --family portable-thermal");
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();

    const int ident = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(ident, 0);
    ASSERT_TRUE(WriteAll(ident, Bytes("1D 49 43")));
    EXPECT_EQ(ReadSome(ident, 8, 5000), std::string("_QV-58P\0", 8));
    close(ident);

    const int raw = ConnectPrinterSocket(address.c_str(), 4000);
    ASSERT_GE(raw, 0);
    ASSERT_TRUE(WriteAll(raw, Bytes("1B 61 01 1D 28 6B 03 00 31 43 06 "
                                    "1D 28 6B 0B 00 31 50 30 'tcp-4000' "
                                    "1D 28 6B 03 00 31 51 30 0A 1D 56 00")));
    const std::string page = printer.WaitForPage(1);
    ASSERT_FALSE(page.empty()) << printer.errors();
    EXPECT_EQ(QImage(QString::fromStdString(page)).width(), 384);
    EXPECT_NE(Scan(QString::fromStdString(page)).find("QR-Code:tcp-4000"), std::string::npos);
    close(raw);

    const int web = ConnectPrinterSocket(address.c_str(), 80);
    if (web < 0)
        GTEST_SKIP() << "port 80 could not be bound here: " << printer.errors();
    ASSERT_TRUE(WriteAll(web, "GET / HTTP/1.1\r\nHost: " + address + "\r\n\r\n"));
    EXPECT_EQ(ReadSome(web, 15, 5000), "HTTP/1.1 200 OK");
    close(web);
}

TEST(PrinterProgram, QuillonListsTheVirtualPrinterAsItsComPort) {
    TempDir dir;
    PrinterProcess printer(dir, RandomLoopbackAddress());
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();

    // Quillon with the printer's port map and an empty device tree: the printer is its only
    // serial port, so the port list starts with it.
    const std::string report = dir.path() + "/window.txt";
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                    "LANG=C.UTF-8",
                                    "HOME=" + dir.path(),
                                    "XDG_CONFIG_HOME=" + dir.MakeDirs("config"),
                                    "XDG_RUNTIME_DIR=" + dir.MakeDirs("runtime"),
                                    "QUILLON_WINDOW_REPORT=" + report,
                                    "QUILLON_DEV_ROOT=" + dir.MakeDirs("dev"),
                                    "QUILLON_SYSFS_ROOT=" + dir.MakeDirs("sys"),
                                    "QUILLON_PORT_MAP=" + printer.mapFile(),
                                    "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string binary = QUILLON_BINARY;
    char* argv[] = {binary.data(), nullptr};
    pid_t quillon = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
    ASSERT_EQ(posix_spawn(&quillon, binary.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::string text;
    for (int i = 0; i < 600 && text.find("state=") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        text = ReadMap(report);
    }
    kill(quillon, SIGTERM);
    waitpid(quillon, nullptr, 0);
    EXPECT_NE(text.find("port=COM9\n"), std::string::npos) << text;
}
