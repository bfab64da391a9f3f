// Figures for the virtual printer: how fast quillon-printer takes a 64 MiB stream of receipts
// through its pseudo-terminal and its TCP port, against `cat` into /dev/null reading the same
// kind of source, and when it has modelled all of it; whether every page of it came out; and
// how long drawing one typical 80 mm receipt takes. Prints figures only.
// Usage: printer_bench [path of another quillon-printer to measure]

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

// The pages the printer printed: those it saved and those it says it did not draw.
long long PagesPrinted(const std::string& pagesDir, const std::string& errFile) {
    long long pages = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(pagesDir, error))
        pages += entry.path().extension() == ".png";
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
            if (line.rfind("COM", 0) == 0)
                return line.substr(line.find('=') + 1);
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
void Throughput(const std::string& data, const char* program) {
    constexpr int kRounds = 5;
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
    const pid_t printer =
        Spawn({program, "--headless", "--out", dir + "/pages", "--port-map", map, "--address",
               kAddress, "--raw-ports", "9198,9197", "--http-port", "9196"},
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
    const long long printed = PagesPrinted(dir + "/pages", errFile);
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
    std::printf("%.1f MiB of receipts, medians of %d rounds (target: at least 0.9x of cat)\n", mib,
                kRounds);
    row("pty", viaPty);
    row("tcp", viaTcp);
    std::printf("pages printed from all %d streams: %lld of %lld\n", 2 * kRounds, printed,
                2 * kRounds * PagesOf(data));
}

void RenderTime() {
    std::vector<printer::Page> pages;
    printer::VirtualPrinter p(
        printer::PrinterOptions{}, [](const uint8_t*, size_t) {},
        [&](printer::Page&& page) { pages.push_back(std::move(page)); });
    p.Receive(Receipt());
    if (pages.empty())
        return;
    printer::PageRenderer renderer;
    auto start = Clock::now();
    renderer.Render(pages[0]);
    const double first = Seconds(start) * 1000;
    constexpr int kRounds = 50;
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i)
        renderer.Render(pages[0]);
    const double average = Seconds(start) * 1000 / kRounds;
    std::printf(
        "one 80 mm receipt (40 lines, barcode, QR code, 576x200 raster): first %.1f ms "
        "(glyphs drawn once), then %.2f ms each (target: under 20 ms)\n",
        first, average);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    RenderTime();
    Throughput(Stream(), argc > 1 ? argv[1] : QUILLON_PRINTER);
    return 0;
}
