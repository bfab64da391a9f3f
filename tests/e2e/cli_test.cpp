// quillon-cli against the real virtual printer and against ports with nothing or nobody
// behind them: what it says, what it writes in JSON and the exit code a script sees.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "escpos/Status.h"
#include "tests/e2e/ProgramProcess.h"
#include "tests/printer/ImageChecks.h"
#include "tests/printer/PrinterProcess.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/HoldingProgram.h"
#include "tests/support/LoopbackPeers.h"

using namespace quillon;
using namespace std::string_literals;

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    QJsonObject json;  // the object on standard output, when there is one
};

// quillon-cli started with its output kept, as Program runs it.
Launch CliLaunch() {
    Launch launch;
    launch.binary = QUILLON_CLI;
    launch.captureOutput = true;
    return launch;
}

// Runs quillon-cli in `dir` (its port map is dir/ports, as the printer's) to its end.
CliRun Cli(const TempDir& dir, std::vector<std::string> args) {
    Program program(dir, "C.UTF-8", {}, std::move(args), CliLaunch());
    CliRun run;
    if (!program.spawned())
        return run;
    run.exitCode = program.WaitForExit(30);
    run.out = program.Output();
    run.err = program.Errors();
    run.json = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
    return run;
}

QStringList Words(const QJsonObject& json) {
    QStringList words;
    for (const QJsonValue& word : json["status"].toObject()["words"].toArray())
        words << word.toString();
    return words;
}

// Status in two printer states over the pseudo-terminal and over TCP, and in the others
// over the terminal: --require gives 0 while all holds and 1 naming what does not, and the
// JSON says the same as the words.
TEST(CliStatus, FollowsThePrinterOverTerminalAndTcp) {
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address, "--ready-json");
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();
    // Port 80 needs root; without the web page the network open is refused by design.
    const bool webPage = printer.WaitForFirstLine().find("\"http\":80") != std::string::npos;
    std::vector<std::string> ports = {"COM9"};
    if (webPage)
        ports.push_back("tcp://" + address);
    const std::string require = "online,cover-closed,paper-ok,drawer-closed";

    for (const std::string& port : ports) {
        SCOPED_TRACE(port);
        CliRun ready = Cli(dir, {"status", port, "--require", require, "--json"});
        EXPECT_EQ(ready.exitCode, 0) << ready.err;
        EXPECT_EQ(ready.json["exitCode"].toInt(-1), 0);
        EXPECT_EQ(ready.json["bytesSent"].toInt(), 12);
        EXPECT_EQ(ready.json["status"].toObject()["online"], QJsonValue(true));
        EXPECT_EQ(Words(ready.json),
                  QStringList({"online", "cover-closed", "paper-ok", "drawer-closed"}));
        EXPECT_TRUE(ready.json["timings"].toObject().contains("answerMs"));
        EXPECT_TRUE(ready.err.empty()) << ready.err;
    }

    ASSERT_TRUE(printer.SetSensors("paper out"));
    ASSERT_TRUE(printer.SetSensors("drawer open"));
    for (const std::string& port : ports) {
        SCOPED_TRACE(port);
        const CliRun human = Cli(dir, {"status", port, "--require", require});
        EXPECT_EQ(human.exitCode, 1) << human.err;
        EXPECT_NE(human.out.find("offline"), std::string::npos) << human.out;
        EXPECT_NE(human.out.find("paper-out"), std::string::npos) << human.out;
        EXPECT_NE(human.err.find("not online, paper-ok, drawer-closed"), std::string::npos)
            << human.err;
        // Without --require the same answers are no failure.
        const CliRun json = Cli(dir, {"status", port, "--json"});
        EXPECT_EQ(json.exitCode, 0) << json.err;
        EXPECT_EQ(json.json["status"].toObject()["paperOut"], QJsonValue(true));
        EXPECT_EQ(json.json["status"].toObject()["drawerOpen"], QJsonValue(true));
    }
    // The printer's other states, each as its words say it (on the terminal).
    const struct {
        std::vector<const char*> sensors;
        QStringList words;
    } states[] = {
        {{"paper in", "drawer closed", "cover open"}, {"offline", "cover-open"}},
        {{"cover closed", "near-end on"}, {"online", "paper-near-end"}},
    };
    for (const auto& state : states) {
        for (const char* sensor : state.sensors)
            ASSERT_TRUE(printer.SetSensors(sensor));
        const CliRun run = Cli(dir, {"status", "COM9", "--require", require, "--json"});
        EXPECT_EQ(run.exitCode, 1) << run.err;
        for (const QString& word : state.words)
            EXPECT_TRUE(Words(run.json).contains(word)) << word.toStdString() << " in " << run.out;
    }
    if (!webPage)
        GTEST_SKIP() << "no web page on port 80 without root: TCP not tried";
}

// Identify and a send that waits for its answer, over the terminal: the pieces go out in
// the order given, a matching answer ends the wait with 0, one that never comes gives 1
// once something else came and the time is up.
TEST(CliSend, SendsInOrderAndWaitsForTheAnswerItExpects) {
    TempDir dir;
    PrinterProcess printer(dir, RandomLoopbackAddress());
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();

    const CliRun identity = Cli(dir, {"identify", "COM9", "--json"});
    EXPECT_EQ(identity.exitCode, 0) << identity.err;
    EXPECT_FALSE(identity.json["identity"].toObject()["modelName"].toString().isEmpty())
        << identity.out;

    const CliRun matched = Cli(dir, {"send", "COM9", "--text", "Receipt", "--newline", "--command",
                                     "cut", "--hex", "10 04 01", "--expect", "16", "--json"});
    EXPECT_EQ(matched.exitCode, 0) << matched.err;
    EXPECT_EQ(matched.json["matched"], QJsonValue(true));
    // "Receipt" CR LF, GS V 66 0, DLE EOT 1 CR LF: the line end follows text and hex alike.
    EXPECT_EQ(matched.json["bytesSent"].toInt(), 9 + 4 + 5);

    const CliRun unmatched =
        Cli(dir, {"send", "COM9", "--hex", "10 04 01", "--expect", "FF", "--timeout", "300"});
    EXPECT_EQ(unmatched.exitCode, 1) << unmatched.err;
    EXPECT_NE(unmatched.out.find("received 1 bytes: 16"), std::string::npos) << unmatched.out;

    // What reaches the wire, in order, through a terminal the test reads itself.
    PtyPair pty;
    dir.WriteFile("ports", "COM3=" + pty.slavePath() + "\n");
    dir.WriteFile("data.bin", "\x00\xFF\x1B"s);
    const CliRun ordered =
        Cli(dir, {"send", "COM3", "--hex", "1B40", "--text", "Hi", "--file",
                  dir.path() + "/data.bin", "--command", "drawer", "--text=--x"});
    EXPECT_EQ(ordered.exitCode, 0) << ordered.err;
    EXPECT_EQ(pty.DrainMaster(),
              "\x1B\x40Hi\x00\xFF\x1B\x1B\x70\x00\x32\x32\x1B\x70\x01\x32\x32\x00--x"s);
}

// The failures a script must tell apart: silence (2), a port that cannot be had (3) and
// a wrong command line (64); none of them sends anything.
TEST(CliFailures, SilenceMissingNodeAndUsageHaveTheirOwnCodes) {
    TempDir dir;
    PtyPair silent;
    dir.WriteFile("ports", "COM4=" + silent.slavePath() + "\nCOM5=" + dir.path() + "/gone\n");

    const CliRun quiet =
        Cli(dir, {"status", "COM4", "--timeout", "300", "--require", "online", "--json"});
    EXPECT_EQ(quiet.exitCode, 2) << quiet.err;
    EXPECT_EQ(quiet.json["exitCode"].toInt(-1), 2);
    EXPECT_TRUE(quiet.json["status"].toObject()["online"].isNull()) << quiet.out;
    EXPECT_NE(quiet.err.find("no answer"), std::string::npos) << quiet.err;
    // The requests went out; nothing answered them.
    EXPECT_EQ(silent.DrainMaster(),
              std::string("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04"));

    const CliRun missing = Cli(dir, {"send", "COM5", "--text", "x"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find(dir.path() + "/gone is not there"), std::string::npos)
        << missing.err;
    {
        // Another program holds the terminal: the message names it and its process.
        HoldingProgram holder(silent.slavePath());
        const CliRun busy = Cli(dir, {"status", "COM4"});
        EXPECT_EQ(busy.exitCode, 3) << busy.err;
        EXPECT_NE(busy.err.find("in use by another program: sleep (process " +
                                std::to_string(holder.pid()) + ")"),
                  std::string::npos)
            << busy.err;
    }
    const CliRun unlisted = Cli(dir, {"status", "COM77"});
    EXPECT_EQ(unlisted.exitCode, 3);
    EXPECT_NE(unlisted.err.find("there is no COM77"), std::string::npos) << unlisted.err;

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"status", "COM4", "--require", "paper"},
          {"send", "COM4", "--hex", "1B 4G"},
          {"send", "COM4", "--file", dir.path() + "/none.bin"},
          {"send", "COM4", "--expect", "16", "--expect-regex", "x", "--text", "a"},
          {"status", "COM4", "--text", "a"},
          {"status", "COM4", "--serial", "9600,X,8,1"},
          {"status"},
          {"print", "COM4"}}) {
        const CliRun run = Cli(dir, wrong);
        EXPECT_EQ(run.exitCode, 64) << wrong[0] << " " << (wrong.size() > 2 ? wrong[2] : "");
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(silent.DrainMaster(100), "");
}

// A node of the dialout group, opened by a user who is not in it: 3, and the message says
// which group to join and that a new login is needed.
TEST(CliFailures, APermissionRefusalNamesTheGroupToJoin) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give the node to a group this user is not in";
    TempDir dir;
    PtyPair port;
    ASSERT_EQ(chown(port.slavePath().c_str(), 0, 20), 0);  // root:dialout
    ASSERT_EQ(chmod(port.slavePath().c_str(), 0660), 0);
    dir.WriteFile("ports", "COM2=" + port.slavePath() + "\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
        ASSERT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
    ASSERT_EQ(chown(dir.path().c_str(), 65534, 65534), 0);
    Launch launch = CliLaunch();
    launch.wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    Program program(dir, "C.UTF-8", {}, {"status", "COM2", "--json"}, launch);
    EXPECT_EQ(program.WaitForExit(30), 3) << program.Errors();
    const std::string message = program.Errors();
    EXPECT_NE(message.find(port.slavePath() + " belongs to the group dialout"), std::string::npos)
        << message;
    EXPECT_NE(message.find("usermod -aG dialout"), std::string::npos) << message;
    EXPECT_NE(message.find("log out and in again"), std::string::npos) << message;
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(program.Output())).object();
    EXPECT_EQ(json["exitCode"].toInt(-1), 3);
    EXPECT_FALSE(json.contains("bytesSent"));
}

// A printer that ends while an answer is awaited ends the wait at once with 4, not with 2
// once the time is up.
TEST(CliFailures, APrinterThatGoesAwayMidwayEndsWithFour) {
    TempDir dir;
    PrinterProcess printer(dir, RandomLoopbackAddress());
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();
    Program waiting(dir, "C.UTF-8", {},
                    {"send", "COM9", "--text", "x", "--newline", "--expect", "FF", "--timeout",
                     "60000", "--json"},
                    CliLaunch());
    // The page it printed says the text went out, so the command is waiting by now.
    ASSERT_FALSE(printer.WaitForPage(1).empty());
    printer.Kill();
    EXPECT_EQ(waiting.WaitForExit(20), 4) << waiting.Errors();
    EXPECT_NE(waiting.Errors().find("hung up"), std::string::npos) << waiting.Errors();
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(waiting.Output())).object();
    EXPECT_EQ(json["bytesSent"].toInt(), 3);
    EXPECT_EQ(json["matched"], QJsonValue(false));
}

// model-test by the window's rules: each line alone, text lines as their bytes, a line that
// is no hex left out (and said) while the rest goes on, the closing feed last; a family
// name finds its file in the program's data folder.
TEST(CliModelTest, SendsAFileLineByLineAndAFamilyByName) {
    TempDir dir;
    PtyPair pty;
    dir.WriteFile("ports", "COM3=" + pty.slavePath() + "\n");
    dir.WriteFile("model.txt", "1B 40\n\"Hello\"\nZZ\n   \n1D 56 42 00\n");
    const CliRun own = Cli(dir, {"model-test", "COM3", dir.path() + "/model.txt", "--json"});
    EXPECT_EQ(own.exitCode, 0) << own.err;
    EXPECT_EQ(pty.DrainMaster(), "\x1B\x40\"Hello\"\x1D\x56\x42\x00\r\n\r\n"s);
    EXPECT_EQ(own.json["linesSent"].toInt(), 3);
    EXPECT_EQ(own.json["skippedLines"].toArray(), QJsonArray({3}));
    EXPECT_NE(own.err.find("line 3 is no hexadecimal text"), std::string::npos) << own.err;

    PrinterProcess printer(dir, RandomLoopbackAddress(), "--family micro-impact");
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();
    const CliRun family = Cli(dir, {"model-test", "COM9", "micro-impact", "--json"});
    EXPECT_EQ(family.exitCode, 0) << family.err;
    EXPECT_GT(family.json["linesSent"].toInt(), 100) << family.out;
    EXPECT_FALSE(printer.WaitForPage(1).empty()) << printer.errors();

    const CliRun unknown = Cli(dir, {"model-test", "COM9", "pos-laser"});
    EXPECT_EQ(unknown.exitCode, 64);
    EXPECT_NE(unknown.err.find("no printer family"), std::string::npos) << unknown.err;
}

// monitor --asb shows each block as it comes, with its time, and decodes the automatic
// status back it switched on; SIGTERM, like Ctrl-C, is its ordinary end.
TEST(CliMonitor, ShowsEachStatusBlockAsThePrinterChanges) {
    TempDir dir;
    PrinterProcess printer(dir, RandomLoopbackAddress());
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();
    Program monitor(dir, "C.UTF-8", {}, {"monitor", "COM9", "--asb", "--jsonl"}, CliLaunch());
    auto shown = [&](const std::string& text) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (monitor.Output().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    };
    // A printer answers GS a with its status at once.
    ASSERT_TRUE(shown("paper-ok")) << monitor.Errors();
    ASSERT_TRUE(printer.SetSensors("paper out"));
    ASSERT_TRUE(shown("paper-out")) << monitor.Output();
    EXPECT_EQ(monitor.Close(), 0) << monitor.Errors();

    QStringList decoded;
    for (const std::string& line : FileLines(dir.path() + "/stdout.txt")) {
        const QJsonObject block = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        ASSERT_FALSE(block.isEmpty()) << line;
        EXPECT_EQ(block["bytes"].toInt() * 3 - 1, block["hex"].toString().size()) << line;
        EXPECT_TRUE(block["time"].toString().endsWith(u'Z')) << line;
        for (const QJsonValue& answer : block["decoded"].toArray())
            decoded << answer.toString();
    }
    ASSERT_EQ(decoded.size(), 2) << monitor.Output();
    EXPECT_TRUE(decoded[0].startsWith("status: online ")) << decoded[0].toStdString();
    EXPECT_TRUE(decoded[1].startsWith("status: offline ")) << decoded[1].toStdString();
}

// preview draws a byte file with the printer's engine and no display: a QR code reads back,
// a cut starts the next page's file, the width is the paper's; nothing printed is 1.
TEST(CliPreview, DrawsEachPageWithNoPrinterAndNoDisplay) {
    TempDir dir;
    const std::string qr =
        "\x1D(k\x03\x00\x31\x43\x05\x1D(k\x03\x00\x31\x45\x31"
        "\x1D(k\x19\x00\x31\x50\x30https://quillon.test/1"
        "\x1D(k\x03\x00\x31\x51\x30\n"s;
    dir.WriteFile("receipt.bin", "\x1B@"s + qr + "Total 12.50\n\x1DVB\x00Second\n"s);
    dir.WriteFile("empty.bin", "");
    const std::string png = dir.path() + "/out.png";
    const CliRun drawn =
        Cli(dir, {"preview", dir.path() + "/receipt.bin", "-o", png, "--width", "58", "--json"});
    EXPECT_EQ(drawn.exitCode, 0) << drawn.err;
    const QJsonArray pages = drawn.json["pages"].toArray();
    ASSERT_EQ(pages.size(), 2) << drawn.out;
    EXPECT_EQ(pages[0].toObject()["width"].toInt(), 384);
    EXPECT_EQ(pages[1].toObject()["path"].toString().toStdString(), dir.path() + "/out-2.png");
    EXPECT_EQ(Scan(QString::fromStdString(png)), "QR-Code:https://quillon.test/1\n");
    EXPECT_EQ(QImage(QString::fromStdString(dir.path() + "/out-2.png")).width(), 384);

    const CliRun nothing = Cli(dir, {"preview", dir.path() + "/empty.bin", "-o", png});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_NE(nothing.err.find("prints nothing"), std::string::npos) << nothing.err;
    const CliRun missing = Cli(dir, {"preview", dir.path() + "/none.bin", "-o", png});
    EXPECT_EQ(missing.exitCode, 64);
    EXPECT_EQ(
        Cli(dir, {"preview", dir.path() + "/receipt.bin", "-o", png, "--width", "70"}).exitCode,
        64);
}

// A printer whose web page is elsewhere: the probe refuses it with 3 and says why;
// --no-probe connects the raw port at once. A 10 MiB file goes through TCP whole.
TEST(CliNetwork, NoProbeConnectsAPrinterWithoutItsWebPageAndSendsAFileWhole) {
    TempDir dir;
    const std::string address = RandomLoopbackAddress();
    PrinterProcess printer(dir, address, "--http-port 8080");
    ASSERT_FALSE(printer.WaitForPort().empty()) << printer.errors();
    const std::string port = "tcp://" + address + ":9100";

    const CliRun probed = Cli(dir, {"status", port});
    EXPECT_EQ(probed.exitCode, 3) << probed.err;
    EXPECT_NE(probed.err.find("refused the connection to its web page (port 80)"),
              std::string::npos)
        << probed.err;
    const CliRun direct = Cli(dir, {"status", port, "--no-probe", "--require", "online"});
    EXPECT_EQ(direct.exitCode, 0) << direct.err;

    std::string big(10u << 20, 'x');
    for (std::size_t i = 0; i < big.size(); i += 64)
        big[i] = '\n';
    dir.WriteFile("big.txt", big);
    const CliRun file =
        Cli(dir, {"send", port, "--no-probe", "--file", dir.path() + "/big.txt", "--hex",
                  "10 04 01", "--expect", "16", "--timeout", "60000", "--json"});
    EXPECT_EQ(file.exitCode, 0) << file.err;
    EXPECT_EQ(file.json["bytesSent"].toInteger(), static_cast<qint64>(big.size()) + 3);
    EXPECT_EQ(file.json["matched"], QJsonValue(true));

    const CliRun named = Cli(dir, {"status", "tcp://printer.local", "--no-probe"});
    EXPECT_EQ(named.exitCode, 64) << named.err;
}

TEST(CliHelp, NamesEveryCommandOptionAndExitCode) {
    TempDir dir;
    const CliRun help = Cli(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command :
         {"list", "status", "identify", "send", "monitor", "model-test", "preview"})
        EXPECT_NE(help.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
    // Each option in the list of options, where the parser knows it, not only in the text.
    for (const char* option :
         {"--json",   "--require",      "--timeout", "--read",     "--text",
          "--hex",    "--file",         "--command", "--newline",  "--chinese",
          "--expect", "--expect-regex", "--baud",    "--parity",   "--data",
          "--stop",   "--flow",         "--serial",  "--no-probe", "--jsonl",
          "--asb",    "--for",          "--output",  "--width",    "--family"}) {
        const std::string name = option;
        EXPECT_TRUE(help.out.find("\n  " + name + " ") != std::string::npos ||
                    help.out.find("\n  " + name + "\n") != std::string::npos ||
                    help.out.find(", " + name + " ") != std::string::npos)
            << option;
    }
    for (const char* code : {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  64 ", "  130 "})
        EXPECT_NE(help.out.find(code), std::string::npos) << code;
}

}  // namespace
