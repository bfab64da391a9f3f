// The session log: its lines, its file, its folder kept under the limit, and a log that
// cannot be written saying so once while the rest is dropped.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "tests/support/FakeDevices.h"
#include "tests/support/TestWindow.h"
#include "transport/SessionFolder.h"
#include "transport/SessionLog.h"
#include "transport/platform/FdIo.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

const std::uint8_t* U(const char* text) {
    return reinterpret_cast<const std::uint8_t*>(text);
}

// Everything after the time stamp, which must come first, to the millisecond.
std::string Body(const std::string& line) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    EXPECT_TRUE(std::regex_search(line, stamp)) << line;
    return line.size() > 24 ? line.substr(24) : line;
}

TEST(SessionLog, OneLinePerBlockAndEventInAFileOfItsOwn) {
    TempDir dir;
    const std::string folder = dir.path() + "/state/Quillon/sessions/";
    const std::string sent = dir.WriteFile("job.bin", std::string("\x1B@Hello\n", 8));
    const int fileFd = open(sent.c_str(), O_RDONLY | O_CLOEXEC);
    auto file = std::make_shared<SharedFile>(fileFd);
    std::string path;
    {
        auto log = SessionLog::Start({folder}, "COM9", "COM9 9600,N,8,1, 0 DTR=1 RTS=1", nullptr);
        ASSERT_EQ(log->Failure(), "");
        path = log->Path();
        log->Transmitted(U("\x1D\x56\x42\x00"), 4);
        log->TransmittedFile(file, 2, 6);
        log->Received(U("\x16"), 1);
        log->Note("STATUS", "Online \xC2\xB7 paper OK\nsecond line");
        const std::string flood(3000, 'A');
        log->Received(U(flood.data()), flood.size());
        log->End({});
        ASSERT_TRUE(log->WaitWritten(10s));
    }
    EXPECT_TRUE(std::regex_match(std::filesystem::path(path).filename().string(),
                                 std::regex(R"(\d{4}-\d\d-\d\d_\d{6}_COM9\.log)")))
        << path;
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const auto lines = FileLines(path);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(Body(lines[0]), "OPEN COM9 9600,N,8,1, 0 DTR=1 RTS=1");
    EXPECT_EQ(Body(lines[1]), "TX 4 1D 56 42 00 |.VB.|");
    EXPECT_EQ(Body(lines[2]), "TX 6 48 65 6C 6C 6F 0A |Hello.|");
    EXPECT_EQ(Body(lines[3]), "RX 1 16 |.|");
    EXPECT_EQ(Body(lines[4]), "STATUS Online \xC2\xB7 paper OK second line");
    // A long block: its first 1024 bytes, and how many more there were.
    EXPECT_EQ(Body(lines[5]).substr(0, 12), "RX 3000 41 4");
    EXPECT_NE(lines[5].find(" ... (1976 more bytes) |" + std::string(1024, 'A') + "|"),
              std::string::npos);
    EXPECT_EQ(Body(lines[6]), "CLOSE");

    // A second session in the same second gets a name of its own. Two are started back to
    // back until both fall in one second (the clock may tick between them).
    bool sameSecond = false;
    for (int i = 0; i < 10 && !sameSecond; ++i) {
        auto first = SessionLog::Start({folder}, "COM9", "first", nullptr);
        auto again = SessionLog::Start({folder}, "COM9", "again", nullptr);
        // The names start with the date and time to the second: 2026-12-08_104207.
        auto stamp = [](const std::string& file) {
            return std::filesystem::path(file).filename().string().substr(0, 17);
        };
        sameSecond = stamp(first->Path()) == stamp(again->Path());
        if (sameSecond) {
            EXPECT_NE(again->Path(), first->Path());
        }
    }
    EXPECT_TRUE(sameSecond);
}

TEST(SessionLog, TheFolderStaysUnderItsLimitOldestSessionsFirst) {
    TempDir dir;
    const std::string folder = dir.MakeDirs("sessions") + "/";
    auto old = [&](const std::string& name, std::size_t size, int ageSeconds) {
        const std::string path = dir.WriteFile("sessions/" + name, std::string(size, 'x'));
        const timespec times[2] = {{time(nullptr) - ageSeconds, 0},
                                   {time(nullptr) - ageSeconds, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return path;
    };
    const std::string oldest = old("a.log", 500 << 10, 300);
    const std::string held = old("b.log", 500 << 10, 200);  // another session still writes it
    const std::string older = old("c.log", 500 << 10, 100);
    const std::string newest = old("d.log", 100 << 10, 50);
    const std::string notALog = old("notes.txt", 900 << 10, 400);
    const std::string elsewhere = dir.WriteFile("elsewhere.log", std::string(900 << 10, 'y'));
    ASSERT_EQ(symlink(elsewhere.c_str(), (folder + "link.log").c_str()), 0);
    const int holder = open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_SH), 0);

    SessionLogOptions options{folder, 1 << 20};
    auto log = SessionLog::Start(options, "USB1", "USB1", nullptr);
    ASSERT_TRUE(log->WaitWritten(10s));
    // 1.6 MiB of logs: the oldest goes, the held one stays though older than the rest, and
    // then the next oldest; other files and a link's target are never touched.
    EXPECT_FALSE(std::filesystem::exists(oldest));
    EXPECT_TRUE(std::filesystem::exists(held));
    EXPECT_FALSE(std::filesystem::exists(older));
    EXPECT_TRUE(std::filesystem::exists(newest));
    EXPECT_TRUE(std::filesystem::exists(notALog));
    EXPECT_TRUE(std::filesystem::exists(folder + "link.log"));
    EXPECT_EQ(std::filesystem::file_size(elsewhere), 900u << 10);
    close(holder);

    // A session that outgrows the limit on its own stops logging, says so in its last line
    // and to its owner, once.
    auto window = std::make_shared<TestWindow>();
    auto big = SessionLog::Start({folder, 64 << 10}, "COM1", "COM1", window);
    const std::string block(1000, 'Z');
    for (int i = 0; i < 200; ++i) {
        big->Received(U(block.data()), block.size());
        big->WaitWritten(10s);
    }
    EXPECT_NE(big->Failure().find("limit"), std::string::npos) << big->Failure();
    EXPECT_TRUE(window->WaitUntil([&] { return window->Count(UM_SESSION_LOG_FAILED) == 1; }));
    const auto lines = FileLines(big->Path());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Body(lines.back()).rfind("LIMIT ", 0), 0u) << lines.back();
    EXPECT_LT(std::filesystem::file_size(big->Path()), (64u << 10) + 3 * 8192);
    EXPECT_EQ(window->Count(UM_SESSION_LOG_FAILED), 1u);
}

TEST(SessionLog, ALogThatCannotBeWrittenSaysSoOnceAndTakesNothingMore) {
    TempDir dir;
    // A folder that cannot be made: its parent is a file.
    dir.WriteFile("file", "");
    auto none = SessionLog::Start({dir.path() + "/file/sessions/"}, "COM1", "COM1", nullptr);
    EXPECT_NE(none->Failure().find("Not a directory"), std::string::npos) << none->Failure();
    none->Received(U("x"), 1);
    EXPECT_TRUE(none->WaitWritten(1s));

    // A full disk, as a file size limit makes it: the write fails, the writer says so once.
    auto window = std::make_shared<TestWindow>();
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    auto log = SessionLog::Start({dir.MakeDirs("sessions") + "/"}, "COM1", "COM1", window);
    const std::string block(500, 'Q');
    for (int i = 0; i < 40; ++i)
        log->Received(U(block.data()), block.size());
    const bool written = log->WaitWritten(10s);
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_TRUE(written);
    EXPECT_NE(log->Failure().find("File too large"), std::string::npos) << log->Failure();
    EXPECT_TRUE(window->WaitUntil([&] { return window->Count(UM_SESSION_LOG_FAILED) == 1; }));
    log->Received(U(block.data()), block.size());
    log->Note("STATUS", "after");
    log->End({});
    EXPECT_TRUE(log->WaitWritten(10s));
    EXPECT_LE(std::filesystem::file_size(log->Path()), 4096u);
    EXPECT_EQ(window->Count(UM_SESSION_LOG_FAILED), 1u);
}

TEST(SessionLog, AWriterThatFallsBehindCountsWhatItCouldNotTake) {
    TempDir dir;
    auto log = SessionLog::Start({dir.path() + "/s/", 256ull << 20, 4}, "COM1", "COM1", nullptr);
    // Far more blocks than the queue holds, as fast as they come: what the writer cannot
    // take is turned away and counted, and nothing is lost without a word.
    const std::string block(100, 'r');
    for (int i = 0; i < 2000; ++i)
        log->Received(U(block.data()), block.size());
    log->End({});
    ASSERT_TRUE(log->WaitWritten(10s));
    std::uint64_t logged = 0, lost = 0;
    for (const std::string& line : FileLines(log->Path())) {
        const std::string body = Body(line);
        if (body.rfind("RX 100 ", 0) == 0)
            logged += 100;
        std::smatch m;
        if (std::regex_search(body, m, std::regex(R"(^LOST \d+ blocks \((\d+) bytes\))")))
            lost += std::stoull(m[1]);
    }
    EXPECT_EQ(logged + lost, 200000u);
}

}  // namespace
