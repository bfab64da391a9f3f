// The real quillon-printer, headless: through its pseudo-terminal, its raw TCP ports and its
// web page, it prints to PNG pages and answers as a printer does.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "printer/app/JobJournal.h"
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

// One request to the web port (8080) of the printer at `address`; the whole reply.
std::string Http(const std::string& address, const std::string& request) {
    const int fd = ConnectPrinterSocket(address.c_str(), 8080);
    if (fd < 0 || !WriteAll(fd, request))
        return "no connection";
    // The printer closes the connection once it has answered.
    std::string reply = ReadSome(fd, 64 << 20, 5000);
    close(fd);
    return reply;
}

std::string HttpBody(const std::string& reply) {
    const size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

QJsonDocument JsonBody(const std::string& reply) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(HttpBody(reply)));
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

TEST(PrinterProgram, AWidthItsFamilyDoesNotTakeIsWarnedAboutAndPrintedOnAsAsked) {
    TempDir dir;
    PrinterProcess printer(dir, RandomLoopbackAddress(), "--family micro-thermal --width 80");
    const std::string device = printer.WaitForPort();
    ASSERT_FALSE(device.empty()) << printer.errors();
    const int fd = OpenClient(device);
    ASSERT_GE(fd, 0);
    const std::string job = Bytes("'wide' 0A 1B 64 04");
    ASSERT_EQ(write(fd, job.data(), job.size()), static_cast<ssize_t>(job.size()));
    const std::string page = printer.WaitForPage(1);
    close(fd);
    ASSERT_FALSE(page.empty()) << printer.errors();
    EXPECT_EQ(QImage(QString::fromStdString(page)).width(), 576);
    EXPECT_NE(printer.errors().find("micro-thermal printers take 44 mm or 58 mm paper, not 80 mm; "
                                    "printing on 80 mm as asked"),
              std::string::npos)
        << printer.errors();
}

TEST(PrinterProgram, ScriptsReadWhereItListensLearnWhyAPortIsMissingAndKeepTheirPages) {
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address, "--ready-json --http-port 8080");
    const std::string device = printer.WaitForPort();
    ASSERT_FALSE(device.empty()) << printer.errors();
    const QJsonObject ready =
        QJsonDocument::fromJson(QByteArray::fromStdString(printer.WaitForFirstLine())).object();
    const std::string mapLine = ReadMap(printer.mapFile());
    EXPECT_EQ(ready["com"].toString().toStdString(), mapLine.substr(0, mapLine.find('=')));
    EXPECT_EQ(ready["pty"].toString().toStdString(), device);
    EXPECT_EQ(ready["address"].toString().toStdString(), address);
    EXPECT_EQ(ready["tcp"].toArray(), (QJsonArray{9100, 4000}));
    EXPECT_EQ(ready["http"].toInt(), 8080);
    EXPECT_EQ(ready["pid"].toInteger(), printer.pid());

    // A second printer on the same address finds the ports taken and says so.
    TempDir otherDir;
    PrinterProcess other(otherDir, address, "--ready-json --http-port 8080");
    ASSERT_FALSE(other.WaitForPort().empty()) << other.errors();
    // By the time it says it is ready, it has said why.
    const QJsonObject second =
        QJsonDocument::fromJson(QByteArray::fromStdString(other.WaitForFirstLine())).object();
    EXPECT_EQ(second["tcp"].toArray(), QJsonArray{});
    EXPECT_TRUE(second["http"].isNull());
    EXPECT_NE(other.errors().find("cannot listen on " + address +
                                  ":9100: another program already listens there"),
              std::string::npos)
        << other.errors();

    // Its state set and read through the web API, as the printer's answers show it.
    auto http = [&](const std::string& request) { return Http(address, request); };
    auto body = [](const std::string& reply) { return JsonBody(reply).object(); };
    auto post = [&](const std::string& target, const std::string& form) {
        return http("POST " + target + " HTTP/1.1\r\nContent-Length: " +
                    std::to_string(form.size()) + "\r\n\r\n" + form);
    };
    // A client with automatic status back on hears each change as it happens.
    const int asker = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(asker, 0);
    ASSERT_TRUE(WriteAll(asker, Bytes("1D 61 FF")));
    ASSERT_EQ(ReadSome(asker, 4, 5000).size(), 4u);
    const std::string set = post("/api/state?drawer=open", "cover=open&paper=near-end");
    ASSERT_EQ(set.substr(0, 15), "HTTP/1.1 200 OK") << set;
    const std::string status = http("GET /api/status HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(body(status), body(set));
    EXPECT_EQ(body(status)["cover"].toString(), "open");
    EXPECT_EQ(body(status)["paper"].toString(), "near-end");
    EXPECT_EQ(body(status)["drawer"].toString(), "open");
    EXPECT_FALSE(body(status)["online"].toBool());
    // Offline with the drawer open, the cover open, no error, paper near its end.
    const std::string automatic = ReadSome(asker, 4, 5000);
    ASSERT_EQ(automatic.size(), 4u);
    EXPECT_EQ(automatic[0] & 0x2C, 0x28) << "cover open, offline, drawer open";
    EXPECT_EQ(automatic[2] & 0x0F, 0x03) << "paper near its end";
    ASSERT_TRUE(WriteAll(asker, Bytes("10 04 01 10 04 02 10 04 03 10 04 04")));
    EXPECT_EQ(ReadSome(asker, 4, 5000), Bytes("1A 16 12 1E"));
    std::string listed;
    for (const QJsonValue& b : body(status)["dleEot"].toArray())
        listed += static_cast<char>(b.toInt());
    EXPECT_EQ(listed, Bytes("1A 16 12 1E"));
    // Once the cover is closed the printer is online again and answers GS r as well.
    ASSERT_EQ(post("/api/state", "cover=closed").substr(0, 15), "HTTP/1.1 200 OK");
    ASSERT_EQ(ReadSome(asker, 4, 5000).size(), 4u);
    ASSERT_TRUE(WriteAll(asker, Bytes("1D 72 01 1D 72 02")));
    EXPECT_EQ(ReadSome(asker, 2, 5000), Bytes("03 00"));
    close(asker);
    const std::string wrong = post("/api/state", "cover=ajar");
    EXPECT_EQ(wrong.substr(0, 24), "HTTP/1.1 400 Bad Request") << wrong;
    EXPECT_NE(body(wrong)["error"].toString().indexOf("cover=ajar"), -1);
    EXPECT_EQ(http("GET /api/nothing HTTP/1.1\r\n\r\n").substr(0, 12), "HTTP/1.1 404");
    EXPECT_EQ(http("GET /api/state HTTP/1.1\r\n\r\n").substr(0, 12), "HTTP/1.1 405");
    ASSERT_EQ(post("/api/state", "cover=closed&paper=ok&drawer=closed").substr(0, 15),
              "HTTP/1.1 200 OK");

    // The page folder removed while it runs comes back with the next page.
    std::filesystem::remove_all(printer.pages());
    const int fd = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, Bytes("'after the clean-up' 0A 1D 56 00")));
    close(fd);
    EXPECT_FALSE(printer.WaitForPage(1).empty()) << printer.errors();
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

TEST(PrinterProgram, JournalsEachJobOnFileAndWebApiAndAKickedDrawerShutsByItself) {
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    const std::string journal = dir.path() + "/jobs.jsonl";
    PrinterProcess printer(dir, address,
                           "--http-port 8080 --drawer-open-ms 200 --journal " + journal);
    const std::string device = printer.WaitForPort();
    ASSERT_FALSE(device.empty()) << printer.errors();
    auto lines = [&] {
        std::ifstream in(journal);
        std::vector<QJsonObject> read;
        for (std::string line; std::getline(in, line);)
            read.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
        return read;
    };
    auto until = [](const std::function<bool()>& done) {
        for (int i = 0; i < 1000; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    };
    auto status = [&] { return JsonBody(Http(address, "GET /api/status HTTP/1.1\r\n\r\n")); };

    // Job 1 over TCP: a status request, a command the printer does not know, a drawer kick
    // and the drawer's sensor asked in turn, which says open.
    const std::string first =
        Bytes("1B 40 'first job' 0A 10 04 01 1B 7E 1B 70 00 32 32 1D 72 02 1D 56 00");
    const int tcp = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_GE(tcp, 0);
    ASSERT_TRUE(WriteAll(tcp, first));
    EXPECT_EQ(ReadSome(tcp, 2, 5000), Bytes("16 00"));
    close(tcp);
    // The drawer shuts by itself once its time is up.
    EXPECT_TRUE(until([&] { return status()["drawer"] == "closed"; })) << printer.errors();

    // Job 2 on the terminal, after the paper runs near its end.
    ASSERT_EQ(Http(address, "POST /api/state?paper=near-end HTTP/1.1\r\n\r\n").substr(0, 15),
              "HTTP/1.1 200 OK");
    const std::string second = Bytes("'second job' 0A 1D 72 01 1D 56 00");
    const int pty = OpenClient(device);
    ASSERT_GE(pty, 0);
    ASSERT_EQ(write(pty, second.data(), second.size()), static_cast<ssize_t>(second.size()));
    EXPECT_EQ(ReadFor(pty, 1, 5000), "\x03");
    close(pty);

    ASSERT_TRUE(until([&] { return lines().size() >= 2; })) << printer.errors();
    const std::vector<QJsonObject> jobs = lines();
    ASSERT_EQ(jobs.size(), 2u);
    const QJsonObject& one = jobs[0];
    EXPECT_EQ(one["job"], 1);
    EXPECT_EQ(one["connection"]["kind"], "tcp");
    EXPECT_EQ(one["connection"]["port"], 9100);
    EXPECT_EQ(one["bytesIn"], static_cast<int>(first.size()));
    const QJsonValue tcpId = one["connection"]["id"];
    EXPECT_EQ(one["answers"], (QJsonArray{QJsonObject{{"connection", tcpId}, {"hex", "16"}},
                                          QJsonObject{{"connection", tcpId}, {"hex", "00"}}}));
    EXPECT_EQ(one["unknown"], QJsonArray{"1B 7E"});
    ASSERT_EQ(one["stateChanges"].toArray().size(), 1);
    EXPECT_EQ(one["stateChanges"][0]["drawer"], "open");
    EXPECT_LE(one["start"].toString(), one["end"].toString());
    ASSERT_EQ(one["pages"].toArray().size(), 1);
    const QJsonObject page = one["pages"][0].toObject();
    EXPECT_EQ(page["width"], 576);
    EXPECT_EQ(page["file"].toString().toStdString(), printer.pages() + "/job-0001-01.png");
    const QJsonObject& two = jobs[1];
    EXPECT_EQ(two["job"], 2);
    EXPECT_EQ(two["connection"]["kind"], "pty");
    EXPECT_EQ(two["connection"]["device"].toString().toStdString(), device);
    EXPECT_EQ(two["bytesIn"], static_cast<int>(second.size()));
    EXPECT_EQ(two["answers"], (QJsonArray{QJsonObject{{"connection", 0}, {"hex", "03"}}}));
    EXPECT_EQ(two["unknown"], QJsonArray{});
    // What changed since job 1 ended: the drawer shut, the paper ran near its end.
    const QJsonArray changes = two["stateChanges"].toArray();
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0]["drawer"], "closed");
    EXPECT_EQ(changes[1]["paper"], "near-end");

    // The web API lists the same, and serves the page written.
    const QJsonArray listed = JsonBody(Http(address, "GET /api/jobs HTTP/1.1\r\n\r\n")).array();
    EXPECT_EQ(listed, (QJsonArray{one, two}));
    const std::string image = Http(address, "GET /api/jobs/1.png HTTP/1.1\r\n\r\n");
    ASSERT_EQ(image.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_NE(image.find("Content-Type: image/png"), std::string::npos);
    std::ifstream file(printer.pages() + "/job-0001-01.png", std::ios::binary);
    EXPECT_EQ(HttpBody(image), std::string(std::istreambuf_iterator<char>(file), {}));
    EXPECT_NE(JsonBody(Http(address, "GET /api/jobs/1-2.png HTTP/1.1\r\n\r\n"))["error"]
                  .toString()
                  .indexOf("job 1 has no part 2"),
              -1);

    // Only the last jobs' images are kept: older ones are a 404 that says so.
    std::string many;
    for (size_t i = 0; i < JobJournal::kImageJobs; ++i)
        many += Bytes("'again' 0A 1D 56 00");
    const int again = ConnectPrinterSocket(address.c_str(), 4000);
    ASSERT_TRUE(WriteAll(again, many));
    close(again);
    const size_t all = 2 + JobJournal::kImageJobs;
    ASSERT_TRUE(until([&] { return lines().size() >= all; })) << printer.errors();
    const std::string gone = Http(address, "GET /api/jobs/1.png HTTP/1.1\r\n\r\n");
    EXPECT_EQ(gone.substr(0, 12), "HTTP/1.1 404");
    EXPECT_NE(JsonBody(gone)["error"].toString().indexOf("no longer kept"), -1) << gone;
    EXPECT_EQ(Http(address, "GET /api/jobs/" + std::to_string(all) + ".png HTTP/1.1\r\n\r\n")
                  .substr(0, 15),
              "HTTP/1.1 200 OK");
    EXPECT_EQ(Http(address, "GET /api/jobs/99.png HTTP/1.1\r\n\r\n").substr(0, 12), "HTTP/1.1 404");

    // A client with automatic status back for the drawer hears it open at a kick and shut
    // once the kick's time is up (the paper is still near its end).
    const int asker = ConnectPrinterSocket(address.c_str(), 9100);
    ASSERT_TRUE(WriteAll(asker, Bytes("1D 61 01")));
    EXPECT_EQ(ReadSome(asker, 4, 5000), Bytes("14 00 03 00"));
    ASSERT_TRUE(WriteAll(asker, Bytes("1B 70 00 32 32")));
    EXPECT_EQ(ReadSome(asker, 8, 10000), Bytes("10 00 03 00 14 00 03 00"));
    close(asker);

    // A journal that cannot be written stops the printer at its start, saying why.
    TempDir otherDir;
    PrinterProcess unwritable(otherDir, RandomLoopbackAddress(),
                              "--journal " + otherDir.path() + "/missing/jobs.jsonl");
    EXPECT_TRUE(until(
        [&] { return unwritable.errors().find("cannot write the journal") != std::string::npos; }));
    const int exit = unwritable.Stop();
    ASSERT_TRUE(WIFEXITED(exit));
    EXPECT_EQ(WEXITSTATUS(exit), 1) << "it ran on";
    // One that fails later is said, and the printer goes on printing.
    TempDir fullDir;
    const std::string fullAddress = RandomLoopbackAddress();
    PrinterProcess full(fullDir, fullAddress, "--journal /dev/full");
    ASSERT_FALSE(full.WaitForPort().empty()) << full.errors();
    for (int job = 1; job <= 2; ++job) {
        const int fd = ConnectPrinterSocket(fullAddress.c_str(), 9100);
        ASSERT_TRUE(WriteAll(fd, Bytes("'disk full' 0A 1D 56 00")));
        close(fd);
        EXPECT_FALSE(full.WaitForPage(job).empty()) << full.errors();
    }
    EXPECT_TRUE(until([&] {
        return full.errors().find("cannot write the journal /dev/full: No space left on device") !=
               std::string::npos;
    })) << full.errors();
}
