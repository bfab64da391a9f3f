// The printer's line in the port map: written through the map's symlink in one step or not
// at all, never through a name someone planted, never from a file that is no map; and
// printers that start and end together keep every line once, each with a number of its own.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "printer/app/PortMapEntry.h"
#include "tests/printer/PrinterProcess.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/LoopbackPeers.h"
#include "transport/PortMapFile.h"
#include "transport/SerialPortNames.h"

namespace fs = std::filesystem;

using namespace quillon;

namespace {

std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Owned(int number, const std::string& device, pid_t pid) {
    return "COM" + std::to_string(number) + "=" + device + " # quillon-printer pid " +
           std::to_string(pid) + "\n";
}

pid_t EndedProcess() {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

// The entries of the map by owner, failing the test for an owner named twice or a number
// taken twice.
std::map<pid_t, PortMapLine> Owners(const std::string& file) {
    std::map<pid_t, PortMapLine> owners;
    std::set<int> numbers;
    for (const std::string& line : PortMapLines(Read(file))) {
        const auto entry = ParsePortMapLine(line);
        if (!entry)
            continue;
        EXPECT_TRUE(numbers.insert(entry->number).second) << "COM" << entry->number << " twice";
        if (entry->owner > 0) {
            EXPECT_TRUE(owners.emplace(entry->owner, *entry).second) << line;
        }
    }
    return owners;
}

}  // namespace

TEST(PortMap, WrittenThroughItsSymlinkInOneStepOrNotAtAll) {
    TempDir dir;
    const std::string kept = "COM3=/dev/null-stand-in\n# a note of the user's\n";
    const std::string target = dir.WriteFile("real/ports", kept);
    const std::string map = dir.path() + "/ports";
    ASSERT_EQ(symlink("real/ports", map.c_str()), 0);
    // Names someone planted where a careless writer would put its temporary file.
    const std::string theirs = dir.path() + "/theirs";
    for (const char* planted : {"/ports.tmp", "/real/ports.tmp"})
        fs::create_symlink(theirs, dir.path() + planted);

    std::string error;
    auto entry = std::make_unique<PortMapEntry>();
    ASSERT_TRUE(entry->Register(map, 0, "/dev/pts/77", error)) << error;
    EXPECT_TRUE(fs::is_symlink(map));
    const std::string registered = kept + Owned(9, "/dev/pts/77", getpid());
    EXPECT_EQ(Read(target), registered);
    EXPECT_FALSE(fs::exists(theirs));

    // On a full disk a second printer is refused, says why, and the map stays whole.
    PortMapEntry second;
    {
        FileSizeLimit full(16);
        EXPECT_FALSE(second.Register(map, 0, "/dev/pts/78", error));
    }
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(Read(target), registered);

    // The line goes with the printer; nothing else goes, and nothing is left beside it.
    entry.reset();
    EXPECT_EQ(Read(target), kept);
    EXPECT_EQ(QDir(QString::fromStdString(dir.path() + "/real"))
                  .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System),
              (QStringList{"ports", "ports.tmp"}));

    // A map that never ends or a FIFO is refused at once, not read without end or waited on.
    const std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& odd : {fifo, std::string("/dev/zero")}) {
        PortMapEntry refused;
        EXPECT_FALSE(refused.Register(odd, 0, "/dev/pts/79", error)) << odd;
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
}

TEST(PortMap, PrintersStartingAndEndingTogetherKeepEveryLineOnce) {
    TempDir dir;
    const std::string kept = "COM3=/dev/null-stand-in\n# a note of the user's\n";
    dir.WriteFile("ports", kept + Owned(9, "/dev/pts/999", EndedProcess()));
    std::vector<std::unique_ptr<PrinterProcess>> printers;
    auto start = [&](int count) {
        for (int i = 0; i < count; ++i)
            printers.push_back(std::make_unique<PrinterProcess>(dir, RandomLoopbackAddress()));
    };
    start(6);
    for (auto& printer : printers)
        ASSERT_FALSE(printer->WaitForPort().empty()) << printer->errors();
    const std::string map = dir.path() + "/ports";
    EXPECT_EQ(Owners(map).size(), 6u);
    EXPECT_EQ(Read(map).find("/dev/pts/999"), std::string::npos) << "the ended printer's line";

    // Two are killed outright; two are ended as usual while two more start.
    printers[0]->Stop(SIGKILL);
    printers[1]->Stop(SIGKILL);
    kill(printers[2]->pid(), SIGTERM);
    kill(printers[3]->pid(), SIGTERM);
    start(2);
    EXPECT_EQ(printers[2]->Stop(), 0);
    EXPECT_EQ(printers[3]->Stop(), 0);
    for (size_t i = 4; i < printers.size(); ++i)
        ASSERT_FALSE(printers[i]->WaitForPort().empty()) << printers[i]->errors();

    const auto owners = Owners(map);
    std::set<pid_t> live;
    for (size_t i = 4; i < printers.size(); ++i)
        live.insert(printers[i]->pid());
    std::set<pid_t> named;
    for (const auto& [pid, entry] : owners)
        named.insert(pid);
    EXPECT_EQ(named, live);
    EXPECT_EQ(Read(map).rfind(kept, 0), 0u) << Read(map);

    // Quillon lists the user's port and the live printers, each once.
    TempDir tree;
    ScopedEnv useMap("QUILLON_PORT_MAP", map);
    ScopedEnv dev("QUILLON_DEV_ROOT", tree.MakeDirs("dev"));
    ScopedEnv sys("QUILLON_SYSFS_ROOT", tree.MakeDirs("sys"));
    std::vector<std::string> listed;
    for (const SerialPortInfo& port : FindSerialPorts())
        listed.push_back(port.device);
    std::vector<std::string> expected = {"/dev/null-stand-in"};
    for (const auto& [pid, entry] : owners)
        expected.push_back(entry.path);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}
