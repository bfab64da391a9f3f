// Figures for the virtual printer, each beside a peer in the same run:
//  - drawing one typical 80 mm receipt (modelled, drawn, encoded as PNG);
//  - `burst`: a burst of receipts (10,000 by default) over TCP: how many pages were written
//    (all of them, or it says how many were skipped) and receipts per second to the last
//    page on disk, with the printer's peak resident memory, beside socat into a file;
//  - `nocut`: a stream with no cut (1 GiB by default): pages written and peak memory,
//    beside socat into a file;
//  - `stream`: how fast 64 MiB of receipts are taken in through the pseudo-terminal and the
//    TCP port, against cat; with --drop-pages-when-behind, as by default the printer takes
//    data only as fast as it draws once its receive buffer is full.
// Medians of rounds (3 by default), a fresh printer for each; prints figures only.
// Usage: printer_bench [render] [burst] [nocut] [stream] [--rounds N] [--receipts N]
//                      [--nocut-mib N] [--printer PATH]   (all rows when none is named)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "printer/VirtualPrinter.h"
#include "printer/render/PageRenderer.h"

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kTotal = 64u << 20;
const char* kAddress = "127.0.0.93";

std::string Hex(const char* hex) {
    std::string out;
    for (const char* p = hex; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
        p += 2;
    }
    return out;
}

// A typical 80 mm receipt: 40 lines of text, a barcode, a QR code, a 576 x 200 raster, a cut.
std::string Receipt() {
    std::string r = Hex("1B 40 1B 61 01 1D 21 11") + "QUILLON STORE\n" + Hex("1D 21 00 1B 61 00");
    for (int i = 0; i < 38; ++i)
        r += "Item " + std::to_string(i) + " of the day, best quality        12.50\n";
    r += Hex("1B 45 01") + "TOTAL                                   475.00\n" + Hex("1B 45 00");
    r += Hex("1B 61 01 1D 68 50 1D 77 02 1D 48 02 1D 6B 49 0C") + "{B2026120700" + "\n";
    r += Hex("1D 28 6B 03 00 31 43 05 1D 28 6B 17 00 31 50 30") + "https://quillon.test" +
         Hex("1D 28 6B 03 00 31 51 30") + "\n";
    r += Hex("1D 76 30 00 48 00 C8 00");
    for (int y = 0; y < 200; ++y)
        r += std::string(72, y % 2 ? '\xAA' : '\x55');
    r += Hex("1D 56 42 00");
    return r;
}

// Whole receipts up to 64 MiB, so that every one of them ends in a page of its own.
std::string Stream() {
    const std::string receipt = Receipt();
    std::string s;
    s.reserve(kTotal);
    while (s.size() + receipt.size() <= kTotal)
        s += receipt;
    return s;
}

// The pages a printer on its own prints from the stream.
long long PagesOf(const std::string& data) {
    long long pages = 0;
    printer::VirtualPrinter p(
        printer::PrinterOptions{}, [](const uint8_t*, size_t) {},
        [&](printer::Page&&) { ++pages; });
    constexpr size_t kPiece = 256 * 1024;
    for (size_t i = 0; i < data.size(); i += kPiece)
        p.Receive(reinterpret_cast<const uint8_t*>(data.data()) + i,
                  std::min(kPiece, data.size() - i));
    p.EndJob();
    return pages;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            write(fd, data.data() + done, std::min<size_t>(data.size() - done, 1 << 16));
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 1000);
        } else if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

pid_t Spawn(std::vector<std::string> args, int stdinFd, const char* errFile = "/dev/null") {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// `cat` reading the master side of a fresh pty into /dev/null while the bench writes the
// other side; done when cat has read everything and ended.
double CatThroughPty(const std::string& data) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return -1;
    // Only cat may hold the master, and only the bench the slave, or cat never sees the end.
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    const pid_t cat = Spawn({"cat"}, master);
    close(master);
    const auto start = Clock::now();
    WriteAll(slave, data);
    tcdrain(slave);
    close(slave);  // cat reads EIO once every byte is gone, and ends
    waitpid(cat, nullptr, 0);
    return Seconds(start);
}

// `cat` reading an accepted loopback connection into /dev/null.
double CatThroughTcp(const std::string& data) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    inet_pton(AF_INET, kAddress, &where.sin_addr);
    where.sin_port = htons(9199);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        listen(listener, 1) != 0)
        return -1;
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    connect(client, reinterpret_cast<sockaddr*>(&where), sizeof where);
    const int server = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    const pid_t cat = Spawn({"cat"}, server);
    close(server);
    close(listener);
    const auto start = Clock::now();
    WriteAll(client, data);
    shutdown(client, SHUT_WR);
    waitpid(cat, nullptr, 0);
    close(client);
    return Seconds(start);
}

struct Timing {
    double taken = -1;     // the answer to DLE EOT 1, sent once every byte before it is read
    double modelled = -1;  // the answer to GS r 1, sent once every byte before it is modelled
};

char ReadAnswer(int fd) {
    pollfd p{fd, POLLIN, 0};
    char answer = 0x7F;
    while (poll(&p, 1, 60000) > 0 && read(fd, &answer, 1) != 1) {
    }
    return answer;
}

// Writes the stream, DLE EOT 1 and GS r 1.
Timing IntoPrinter(int fd, const std::string& data) {
    Timing t;
    // Put together before the clock starts: cat is not timed copying its input either.
    const std::string all = data + Hex("10 04 01 1D 72 01");
    const auto start = Clock::now();
    if (!WriteAll(fd, all))
        return t;
    if (ReadAnswer(fd) != 0x16)
        return t;
    t.taken = Seconds(start);
    if (ReadAnswer(fd) == 0x00)
        t.modelled = Seconds(start);
    return t;
}

// The pages the printer wrote (its PNGs), and those it says it did not draw.
long long PagesWritten(const std::string& pagesDir) {
    long long pages = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(pagesDir, error))
        pages += entry.path().extension() == ".png";
    return pages;
}

long long PagesSkipped(const std::string& errFile) {
    long long pages = 0;
    std::ifstream in(errFile);
    std::string line;
    while (std::getline(in, line))
        if (line.find("pages were not drawn") != std::string::npos)
            pages += std::stoll(line.substr(line.find(':') + 1));
    return pages;
}

std::string WaitForPort(const std::string& map) {
    for (int i = 0; i < 200; ++i) {
        std::ifstream in(map);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("COM", 0) == 0) {
                // The device, without the comment naming the printer's process.
                const std::string device = line.substr(line.find('=') + 1);
                return device.substr(0, device.find(' '));
            }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

// Processor time the process has used, in clock ticks.
long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    // The fields after the command name, which is in parentheses and may hold blanks.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::stoll(field);  // utime and stime
    return ticks;
}

// Waits until the printer has drawn what the last stream left it and sits idle, so that
// each stream, cat's or the printer's, meets an idle printer (at most 30 s).
void WaitUntilIdle(pid_t pid) {
    long long before = CpuTicks(pid);
    for (int i = 0; i < 300; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const long long now = CpuTicks(pid);
        if (now == before)
            return;
        before = now;
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Rounds of cat and the printer in turn on each transport, so that what else the machine
// is doing shows in the spread of the figures rather than in one of them.
void Throughput(const std::string& data, const std::string& program, int kRounds) {
    // Pages go to memory where there is a tmpfs, so that the disk writing back the last
    // stream's pictures does not weigh on the next stream.
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? "/dev/shm"
                                           : std::filesystem::temp_directory_path();
    const std::string dir = base / ("quillon-printer-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string map = dir + "/ports";
    std::filesystem::remove(map);
    const std::string errFile = dir + "/errors";
    const pid_t printer = Spawn(
        {program, "--headless", "--out", dir + "/pages", "--port-map", map, "--address", kAddress,
         "--raw-ports", "9198,9197", "--http-port", "9196", "--drop-pages-when-behind"},
        -1, errFile.c_str());
    const std::string device = WaitForPort(map);
    if (device.empty()) {
        std::printf("quillon-printer did not start\n");
        return;
    }
    const int pty = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    tcgetattr(pty, &raw);
    cfmakeraw(&raw);
    tcsetattr(pty, TCSANOW, &raw);
    const int tcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    inet_pton(AF_INET, kAddress, &where.sin_addr);
    where.sin_port = htons(9198);
    connect(tcp, reinterpret_cast<sockaddr*>(&where), sizeof where);

    struct Figures {
        std::vector<double> cat, taken, modelled;
    } viaPty, viaTcp;
    auto add = [](Figures& f, double cat, const Timing& t) {
        f.cat.push_back(cat);
        f.taken.push_back(t.taken);
        f.modelled.push_back(t.modelled);
    };
    for (int round = 0; round < kRounds; ++round) {
        WaitUntilIdle(printer);
        const double cat = CatThroughPty(data);
        WaitUntilIdle(printer);
        add(viaPty, cat, IntoPrinter(pty, data));
    }
    for (int round = 0; round < kRounds; ++round) {
        WaitUntilIdle(printer);
        const double cat = CatThroughTcp(data);
        WaitUntilIdle(printer);
        add(viaTcp, cat, IntoPrinter(tcp, data));
    }
    close(pty);
    close(tcp);
    kill(printer, SIGTERM);
    waitpid(printer, nullptr, 0);
    const long long written = PagesWritten(dir + "/pages"), skipped = PagesSkipped(errFile);
    std::filesystem::remove_all(dir);

    const double mib = static_cast<double>(data.size()) / (1 << 20);
    auto row = [mib](const char* what, const Figures& f) {
        const double cat = Median(f.cat), taken = Median(f.taken);
        std::printf(
            "%-4s cat %.3f s (%.0f MiB/s), quillon-printer %.3f s (%.0f MiB/s): %.2fx of cat; "
            "all modelled after %.3f s\n     each round:",
            what, cat, mib / cat, taken, mib / taken, cat / taken, Median(f.modelled));
        for (size_t i = 0; i < f.cat.size(); ++i)
            std::printf(" %.2fx", f.cat[i] / f.taken[i]);
        std::printf("\n");
    };
    std::printf(
        "%.1f MiB of receipts taken in, printer with --drop-pages-when-behind, medians of "
        "%d rounds (target: at least 0.9x of cat)\n",
        mib, kRounds);
    row("pty", viaPty);
    row("tcp", viaTcp);
    std::printf("pages written from all %d streams: %lld of %lld (%lld said to be skipped)\n",
                2 * kRounds, written, 2 * kRounds * PagesOf(data), skipped);
}

double LoadAverage() {
    double load = 0;
    return getloadavg(&load, 1) == 1 ? load : -1;
}

// Writes `count` copies of `unit`, as fast as the peer takes them.
bool WriteRepeated(int fd, const std::string& unit, long long count) {
    for (long long i = 0; i < count; ++i)
        if (!WriteAll(fd, unit))
            return false;
    return true;
}

int ConnectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    inet_pton(AF_INET, kAddress, &where.sin_addr);
    where.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The peak resident memory of a process, in MiB.
double PeakResidentMiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    return -1;
}

bool HaveProgram(const char* name) {
    const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// A folder of its own under /dev/shm where there is one, so that the disk does not weigh on
// the figures.
std::string ScratchDir(const char* what) {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? "/dev/shm"
                                           : std::filesystem::temp_directory_path();
    const std::string dir =
        base / ("quillon-printer-bench-" + std::string(what) + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// One round of a headless printer taking `count` copies of `unit` over TCP until its page
// `lastPage` is on disk.
struct PrinterRound {
    double seconds = -1;  // from the first byte sent to the last page written
    long long written = 0, skipped = 0;
    double peakMiB = -1;
};

PrinterRound IntoFreshPrinter(const std::string& program, const std::string& unit, long long count,
                              const std::string& lastPage) {
    PrinterRound round;
    const std::string dir = ScratchDir("round");
    const std::string map = dir + "/ports", errFile = dir + "/errors", pages = dir + "/pages";
    const pid_t printer =
        Spawn({program, "--headless", "--out", pages, "--port-map", map, "--address", kAddress,
               "--raw-ports", "9194,9193", "--http-port", "9192", "--idle-ms", "200"},
              -1, errFile.c_str());
    int fd = -1;
    if (!WaitForPort(map).empty())
        fd = ConnectTo(9194);
    if (fd >= 0) {
        const auto start = Clock::now();
        WriteRepeated(fd, unit, count);
        close(fd);
        // Pages are written in order: the last one on disk means all are done. A printer
        // that writes nothing for 30 s is given up on.
        const std::string last = pages + "/" + lastPage;
        long long seen = -1;
        auto progress = Clock::now();
        while (access(last.c_str(), F_OK) != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (Seconds(progress) < 2)
                continue;
            const long long now = PagesWritten(pages);
            if (now == seen && Seconds(progress) > 30)
                break;
            if (now != seen)
                progress = Clock::now();
            seen = now;
        }
        round.seconds = Seconds(start);
        round.peakMiB = PeakResidentMiB(printer);
    }
    kill(printer, SIGTERM);
    waitpid(printer, nullptr, 0);
    round.written = PagesWritten(pages);
    round.skipped = PagesSkipped(errFile);
    std::filesystem::remove_all(dir);
    return round;
}

// socat taking the same stream over TCP into a file: the floor.
double SocatIntoFile(const std::string& unit, long long count) {
    const std::string dir = ScratchDir("socat");
    const std::string listen = std::string("TCP-LISTEN:9191,bind=") + kAddress + ",reuseaddr";
    const pid_t socat = Spawn({"socat", "-u", listen, "OPEN:" + dir + "/data,creat,trunc"}, -1);
    int fd = -1;
    for (int i = 0; i < 250 && fd < 0; ++i) {
        fd = ConnectTo(9191);
        if (fd < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    double seconds = -1;
    if (fd >= 0) {
        const auto start = Clock::now();
        WriteRepeated(fd, unit, count);
        shutdown(fd, SHUT_WR);
        waitpid(socat, nullptr, 0);
        seconds = Seconds(start);
        close(fd);
    } else {
        kill(socat, SIGTERM);
        waitpid(socat, nullptr, 0);
    }
    std::filesystem::remove_all(dir);
    return seconds;
}

// Rounds of socat and the printer in turn; medians, with each round's figures.
void StreamRow(const char* title, const std::string& program, const std::string& unit,
               long long count, long long expectedPages, const std::string& lastPage, int rounds,
               const char* perSecondOf, double perSecondUnits) {
    const double mib = static_cast<double>(unit.size()) * static_cast<double>(count) / (1 << 20);
    const bool socat = HaveProgram("socat");
    const double loadBefore = LoadAverage();
    std::vector<double> printerSeconds, socatSeconds, peaks;
    std::vector<PrinterRound> all;
    for (int i = 0; i < rounds; ++i) {
        if (socat)
            socatSeconds.push_back(SocatIntoFile(unit, count));
        all.push_back(IntoFreshPrinter(program, unit, count, lastPage));
        printerSeconds.push_back(all.back().seconds);
        peaks.push_back(all.back().peakMiB);
    }
    std::printf(
        "%s: %.0f MiB, %lld pages expected; median of %d rounds, load average %.2f "
        "then %.2f\n",
        title, mib, expectedPages, rounds, loadBefore, LoadAverage());
    const double p = Median(printerSeconds);
    std::printf(
        "  quillon-printer  %.2f s to the last page written, %.0f %s/s, peak resident "
        "%.0f MiB\n    each round:",
        p, perSecondUnits / p, perSecondOf, Median(peaks));
    for (const PrinterRound& r : all)
        std::printf(" [%lld of %lld pages written, %lld skipped, %.2f s, %.0f MiB]", r.written,
                    expectedPages, r.skipped, r.seconds, r.peakMiB);
    std::printf("\n");
    if (!socat) {
        std::printf("  socat into a file: skipped, socat is not installed\n");
        return;
    }
    const double f = Median(socatSeconds);
    std::printf(
        "  socat into a file (the floor) %.2f s, %.0f %s/s (%.0f MiB/s); printer at "
        "%.2fx of the floor\n",
        f, perSecondUnits / f, perSecondOf, mib / f, f / p);
}

// A burst of whole receipts, each a job of one page.
void BurstRow(const std::string& program, long long receipts, int rounds) {
    const std::string receipt = Receipt();
    char last[64];
    std::snprintf(last, sizeof last, "job-%04lld-01.png", receipts);
    StreamRow(("burst of " + std::to_string(receipts) + " receipts over TCP").c_str(), program,
              receipt, receipts, receipts * PagesOf(receipt), last, rounds, "receipts",
              static_cast<double>(receipts));
}

// Receipts with no cut: one endless job, cut into pages by length only.
void NoCutRow(const std::string& program, long long mib, int rounds) {
    std::string unit = Receipt();
    unit.resize(unit.size() - 4);  // without its cut
    const long long count = (mib << 20) / static_cast<long long>(unit.size());
    long long pages = 0;
    {
        printer::VirtualPrinter p(
            printer::PrinterOptions{}, [](const uint8_t*, size_t) {},
            [&](printer::Page&&) { ++pages; });
        for (long long i = 0; i < count; ++i)
            p.Receive(unit);
        p.EndJob();
    }
    char last[64];
    std::snprintf(last, sizeof last, "job-0001-%02lld.png", pages);
    StreamRow((std::to_string(mib) + " MiB with no cut over TCP").c_str(), program, unit, count,
              pages, last, rounds, "pages", static_cast<double>(pages));
}

// Modelling, drawing and PNG encoding of one typical receipt, each on its own, as the
// printer does them on one processor each.
void RenderTime() {
    const std::string receipt = Receipt();
    std::vector<printer::Page> pages;
    printer::VirtualPrinter p(
        printer::PrinterOptions{}, [](const uint8_t*, size_t) {},
        [&](printer::Page&& page) { pages.push_back(std::move(page)); });
    constexpr int kRounds = 200;
    auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i)
        p.Receive(receipt);
    const double model = Seconds(start) * 1000 / kRounds;
    if (pages.empty())
        return;
    printer::PageRenderer renderer;
    start = Clock::now();
    QImage image = renderer.Render(pages[0]);
    const double first = Seconds(start) * 1000;
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i)
        image = renderer.Render(pages[static_cast<size_t>(i) % pages.size()]);
    const double draw = Seconds(start) * 1000 / kRounds;
    start = Clock::now();
    qsizetype pngSize = 0;
    for (int i = 0; i < kRounds / 4; ++i)
        pngSize = printer::EncodePng(image).size();
    const double encode = Seconds(start) * 1000 / (kRounds / 4);
    std::printf(
        "one 80 mm receipt (40 lines, barcode, QR code, 576x200 raster, %d x %d dots): "
        "modelled in %.3f ms, drawn in %.3f ms (first %.1f ms, glyphs drawn once), "
        "model + draw %.3f ms (target: 1 ms); PNG encoding %.3f ms (%lld bytes)\n",
        image.width(), image.height(), model, draw, first, model + draw, encode,
        static_cast<long long>(pngSize));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    int rounds = 3;
    long long receipts = 10000, nocutMiB = 1024;
    std::string program = QUILLON_PRINTER;
    std::vector<std::string> rows;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--rounds" && hasValue)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--receipts" && hasValue)
            receipts = std::max(1LL, std::atoll(argv[++i]));
        else if (arg == "--nocut-mib" && hasValue)
            nocutMiB = std::max(1LL, std::atoll(argv[++i]));
        else if (arg == "--printer" && hasValue)
            program = argv[++i];
        else
            rows.push_back(arg);
    }
    const auto wanted = [&](const char* row) {
        return rows.empty() || std::find(rows.begin(), rows.end(), row) != rows.end();
    };
    if (wanted("render"))
        RenderTime();
    if (wanted("burst"))
        BurstRow(program, receipts, rounds);
    if (wanted("nocut"))
        NoCutRow(program, nocutMiB, rounds);
    if (wanted("stream"))
        Throughput(Stream(), program, rounds);
    return 0;
}
