// Figures for the receive display: the real main window (offscreen) with a pseudo-terminal
// registered as COM1 and opened with its Open Port button, whose other end floods mixed text
// and binary (16 MiB unless told): in the character view, in the hexadecimal view, and in
// the character view of the Chinese interface (GB18030); each without the session log and,
// in the rows named "+log", with it (written to a temporary folder, as the program writes
// it). Prints the bytes per second that reach the receive area, the worst delay of the
// window's event loop during the flood, and the resident memory at the end.
//
// Beside them, in the same run and round by round, the peers a user would pick instead:
//  - picocom, the serial terminal, on the same kind of pty flood. Its terminal is a bare pty
//    that this program drains as fast as picocom writes, so its figure counts picocom alone
//    (reading the port and writing every byte to its terminal) and none of the drawing a
//    terminal emulator would add: the most picocom can do. The clock runs from the first
//    byte of the flood to the last byte out of picocom's terminal; every byte is checked.
//    The row is skipped when picocom is not installed (apt-get install picocom).
//  - head -c, a plain reader: the floor.
//
//   receive_bench [--mib N] [--rounds N] [character[+log]] [hex[+log]] [gb18030[+log]]
//                 [picocom] [plain]
//
// Rows are run in turn within each round (three rounds unless told), each in a fresh process
// so that every round meets the window as a user's first flood does, and the medians are
// printed at the end with each view's ratio to picocom (and a "+log" row's to the same view
// without the log). Prints figures only; it judges nothing.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/CQuillonDlg.h"
#include "resources/ResourceIds.h"
#include "transport/SessionLog.h"

extern char** environ;

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Printer answers and dumps: text lines with CR LF between runs of arbitrary bytes.
std::string MixedFlood(std::size_t total) {
    std::string data;
    data.reserve(total);
    std::mt19937 random(2024);
    int line = 0;
    while (data.size() < total) {
        for (int i = 0; i < 8; ++i) {
            char text[96];
            std::snprintf(text, sizeof text, "Line %06d: PAPER OK, DRAWER CLOSED, 0123456789\r\n",
                          line++);
            data += text;
        }
        const std::size_t binary = 64 + random() % 448;
        for (std::size_t i = 0; i < binary; ++i)
            data.push_back(static_cast<char>(random() & 0xFF));
    }
    data.resize(total);
    return data;
}

std::string HexOf(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 3);
    for (unsigned char b : bytes) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 0x0F]);
        hex.push_back(' ');
    }
    return hex;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// A value in KiB from /proc/<pid>/status ("self" for this process).
long StatusKiB(const std::string& pid, const char* key) {
    std::ifstream status("/proc/" + pid + "/status");
    std::string word;
    while (status >> word) {
        if (word == key) {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 10, '\n');
    }
    return -1;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    double one = 0, five = 0, fifteen = 0;
    file >> one >> five >> fifteen;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
    return text;
}

void WriteAll(int fd, const std::string& data) {
    std::size_t at = 0;
    while (at < data.size()) {
        const ssize_t n =
            write(fd, data.data() + at, std::min<std::size_t>(65536, data.size() - at));
        if (n <= 0)
            return;
        at += static_cast<std::size_t>(n);
    }
}

struct Pty {
    int master = -1;
    std::string slavePath;
    Pty() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        close(slave);
        slavePath = name;
    }
    ~Pty() { close(master); }
};

struct Figures {
    double mbPerSecond = 0;
    long long worstDelayMs = -1;  // -1: not measured
    bool intact = false;
    std::string note;  // memory and the like
};

Figures RunDialog(const std::string& data, bool hex, Language language, const fs::path& portMap) {
    Pty pty;
    std::ofstream(portMap) << "COM1=" << pty.slavePath << "\n";

    auto dialog = std::make_unique<CQuillonDlg>(language);
    dialog->Create();
    dialog->show();
    if (hex)
        dialog->Item<QAbstractButton>(IDC_HEX_SHOW)->click();
    QApplication::processEvents();
    const long rssBefore = StatusKiB("self", "VmRSS:");
    // The port list holds COM1 and the network entry: open it as a user does, so that the
    // session log (when on) starts with it.
    dialog->Item<QAbstractButton>(IDC_OPEN_CLOSE)->click();
    if (!dialog->state().port.open) {
        std::fprintf(stderr, "COM1 did not open\n");
        std::exit(1);
    }

    const auto& received = dialog->state().receive;
    QEventLoop loop;
    QElapsedTimer sinceTick;
    qint64 worstDelayMs = 0;
    constexpr int kTickMs = 5;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        worstDelayMs = std::max(worstDelayMs, sinceTick.restart() - kTickMs);
        if (received.count >= data.size())
            loop.quit();
    });
    QTimer stall;
    std::uint32_t lastCount = 0;
    QObject::connect(&stall, &QTimer::timeout, [&] {
        if (received.count == lastCount)
            loop.quit();  // nothing for ten seconds: bytes were lost
        lastCount = received.count;
    });

    const auto start = Clock::now();
    const double cpuBefore = ProcessCpuSeconds();
    std::thread printer([&] { WriteAll(pty.master, data); });
    sinceTick.start();
    probe.start(kTickMs);
    stall.start(10000);
    loop.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    probe.stop();
    stall.stop();
    printer.join();
    const long rssAfter = StatusKiB("self", "VmRSS:");

    // What the receive texts hold now (everything since the area last emptied itself)
    // must be the flood's last bytes, in order.
    const std::string kept = received.charText.toStdString();
    const std::string tail = data.substr(data.size() - std::min(data.size(), kept.size()));
    Figures figures;
    figures.mbPerSecond = data.size() / seconds / 1e6;
    figures.worstDelayMs = worstDelayMs;
    figures.intact = received.count == data.size() && kept == tail &&
                     received.hexText.toStdString() == HexOf(tail);
    char note[200];
    std::snprintf(note, sizeof note,
                  "%.1f MiB resident added by the flood (%.0f MiB at the end), %zu bytes kept, "
                  "%.1f MB per CPU second",
                  (rssAfter - rssBefore) / 1024.0, rssAfter / 1024.0, kept.size(),
                  data.size() / cpu / 1e6);
    figures.note = note;
    dialog->Item<QAbstractButton>(IDC_OPEN_CLOSE)->click();
    dialog.reset();
    return figures;
}

// Starts a program with the given terminal as its standard input, output and error, in a
// session of its own: picocom signals its whole process group when it is told to end.
pid_t Spawn(const std::vector<std::string>& args, int terminal) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < 3; ++fd)
        posix_spawn_file_actions_adddup2(&actions, terminal, fd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// Reads what is there within the time limit; an empty result means nothing came.
std::string ReadSome(int fd, int timeoutMs) {
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, timeoutMs) <= 0)
        return {};
    char buffer[65536];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::optional<Figures> RunPicocom(const std::string& data) {
    Pty port;
    int terminal = -1;
    int terminalSlave = -1;
    if (openpty(&terminal, &terminalSlave, nullptr, nullptr, nullptr) != 0)
        return std::nullopt;
    const pid_t pid = Spawn(
        {"picocom", "--baud", "115200", "--nolock", "--noreset", port.slavePath}, terminalSlave);
    close(terminalSlave);
    if (pid < 0) {
        close(terminal);
        return std::nullopt;
    }
    // picocom says so once it has opened and set up the port.
    std::string banner;
    while (banner.find("Terminal ready\r\n") == std::string::npos) {
        const std::string more = ReadSome(terminal, 5000);
        if (more.empty())
            break;
        banner += more;
    }
    Figures figures;
    const std::size_t ready = banner.find("Terminal ready\r\n");
    if (ready != std::string::npos) {
        std::string out = banner.substr(ready + std::strlen("Terminal ready\r\n"));
        const auto start = Clock::now();
        std::thread printer([&] { WriteAll(port.master, data); });
        figures.intact = true;
        std::size_t checked = 0;
        while (checked < data.size()) {
            if (out.empty())
                out = ReadSome(terminal, 10000);
            if (out.empty())
                break;  // nothing for ten seconds: bytes were lost
            const std::size_t n = std::min(out.size(), data.size() - checked);
            figures.intact =
                figures.intact && std::memcmp(out.data(), data.data() + checked, n) == 0;
            checked += n;
            out.clear();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        figures.intact = figures.intact && checked == data.size();
        figures.mbPerSecond = checked / seconds / 1e6;
        char note[80];
        std::snprintf(note, sizeof note, "picocom's peak resident memory %.1f MiB",
                      StatusKiB(std::to_string(pid), "VmHWM:") / 1024.0);
        figures.note = note;
        // When bytes were lost the flood may still be writing: it ends once picocom has
        // closed the port.
        kill(pid, SIGTERM);
        printer.join();
    } else {
        figures.note = "picocom did not say it was ready";
        kill(pid, SIGTERM);
    }
    // Its farewell goes to the terminal, which is drained until it has gone.
    for (int i = 0; i < 50 && waitpid(pid, nullptr, WNOHANG) == 0; ++i)
        ReadSome(terminal, 100);
    if (waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(terminal);
    return figures;
}

// A plain reader of the same flood: head -c stops after the flood, as cat would drain it.
Figures RunPlainReader(const std::string& data) {
    Pty pty;
    const int slave = open(pty.slavePath.c_str(), O_RDONLY | O_NOCTTY);
    const std::string count = std::to_string(data.size());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"head", "-c", count.c_str(), nullptr};
    pid_t pid = 0;
    Figures figures;
    const auto start = Clock::now();
    if (posix_spawnp(&pid, "head", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
        figures.note = "head could not be started";
        return figures;
    }
    close(slave);
    std::thread printer([&] { WriteAll(pty.master, data); });
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    printer.join();
    posix_spawn_file_actions_destroy(&actions);
    figures.mbPerSecond = data.size() / seconds / 1e6;
    figures.intact = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    figures.note = "head -c to /dev/null";
    return figures;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Print(const char* row, int round, const Figures& figures) {
    char delay[48] = "";
    if (figures.worstDelayMs >= 0)
        std::snprintf(delay, sizeof delay, ", worst delay %4lld ms", figures.worstDelayMs);
    std::printf("round %d %-13s %8.2f MB/s%s, %s; %s\n", round, row, figures.mbPerSecond, delay,
                figures.intact ? "every byte in order" : "BYTES LOST OR OUT OF ORDER",
                figures.note.c_str());
    std::fflush(stdout);
}

// One row once, in a process of its own, so that every round meets the window as a user's
// first flood does: no fonts, glyphs or memory left over from an earlier round. Prints the
// figures on one line: rate, worst delay, whether every byte came in order, the note.
int RunRow(int argc, char** argv, const std::string& row, std::size_t mib) {
    char folder[] = "/tmp/receive_bench.XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const fs::path root = folder;
    fs::create_directories(root / "sys");
    fs::create_directories(root / "dev");
    fs::create_directories(root / "config");
    setenv("QUILLON_PORT_MAP", (root / "ports").c_str(), 1);
    setenv("QUILLON_SYSFS_ROOT", (root / "sys").c_str(), 1);
    setenv("QUILLON_DEV_ROOT", (root / "dev").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
    // "character+log" is the character view with the session log on; the other rows run
    // with it off.
    const bool log = row.size() > 4 && row.compare(row.size() - 4, 4, "+log") == 0;
    const std::string view = log ? row.substr(0, row.size() - 4) : row;
    setenv("QUILLON_SESSION_LOG", log ? "1" : "0", 1);

    QApplication app(argc, argv);
    const std::string data = MixedFlood(mib << 20);
    std::optional<Figures> figures;
    if (view == "character")
        figures = RunDialog(data, false, Language::English, root / "ports");
    else if (view == "hex")
        figures = RunDialog(data, true, Language::English, root / "ports");
    else if (view == "gb18030")
        // The Chinese interface reads the same bytes as GB18030, where most binary bytes
        // start or continue a two-byte character.
        figures = RunDialog(data, false, Language::Chinese, root / "ports");
    else if (view == "picocom")
        figures = RunPicocom(data);
    else
        figures = RunPlainReader(data);
    if (figures && log) {
        // The writer finishes the log by itself once the port has closed.
        for (int i = 0; i < 500 && LiveSessionWriters() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::size_t bytes = 0;
        std::error_code error;
        for (const auto& entry :
             fs::directory_iterator(root / "state" / "Quillon" / "sessions", error))
            bytes += fs::file_size(entry.path(), error);
        figures->note += ", session log " + std::to_string(bytes >> 10) + " KiB";
    }
    fs::remove_all(root);
    if (!figures)
        return 3;
    std::printf("%.6f %lld %d %s\n", figures->mbPerSecond, figures->worstDelayMs,
                figures->intact ? 1 : 0, figures->note.c_str());
    return 0;
}

// Runs a row in a child process; nothing when it could not run (picocom missing).
std::optional<Figures> RunInChild(const std::string& row, std::size_t mib) {
    int out[2];
    if (pipe(out) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string size = std::to_string(mib);
    const std::string self = fs::read_symlink("/proc/self/exe");
    const char* argv[] = {self.c_str(), "--mib", size.c_str(), "--row", row.c_str(), nullptr};
    pid_t pid = 0;
    const int failed =
        posix_spawn(&pid, self.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    char buffer[4096];
    for (ssize_t n; !failed && (n = read(out[0], buffer, sizeof buffer)) > 0;)
        line.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 1;
    if (!failed)
        waitpid(pid, &status, 0);
    Figures figures;
    int intact = 0;
    int noteAt = 0;
    if (failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(line.c_str(), "%lf %lld %d %n", &figures.mbPerSecond, &figures.worstDelayMs,
                    &intact, &noteAt) < 3)
        return std::nullopt;
    figures.intact = intact != 0;
    figures.note = line.substr(static_cast<std::size_t>(noteAt));
    while (!figures.note.empty() && figures.note.back() == '\n')
        figures.note.pop_back();
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::size_t mib = 16;
    int rounds = 3;
    const std::vector<std::string> allRows = {"character", "character+log", "hex",     "hex+log",
                                              "gb18030",   "gb18030+log",   "picocom", "plain"};
    std::vector<std::string> rows;
    std::string oneRow;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mib" && i + 1 < argc) {
            mib = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--row" && i + 1 < argc) {
            oneRow = argv[++i];
        } else if (std::find(allRows.begin(), allRows.end(), arg) != allRows.end()) {
            rows.push_back(arg);
        } else {
            std::fprintf(stderr,
                         "usage: receive_bench [--mib N] [--rounds N] [character[+log]] "
                         "[hex[+log]] [gb18030[+log]] [picocom] [plain]\n");
            return 2;
        }
    }
    if (!oneRow.empty())
        return RunRow(argc, argv, oneRow, mib);
    if (rows.empty())
        rows = allRows;

    std::printf(
        "%zu MiB flood from a pty, %d rounds, each row in a fresh process; load average "
        "%s\n",
        mib, rounds, LoadAverage().c_str());
    std::fflush(stdout);
    std::map<std::string, std::vector<double>> rates;
    std::map<std::string, long long> worstDelay;
    for (int round = 1; round <= rounds; ++round) {
        for (const std::string& row : rows) {
            const std::optional<Figures> figures = RunInChild(row, mib);
            if (!figures) {
                std::printf("round %d %-13s skipped: it did not run%s\n", round, row.c_str(),
                            row == "picocom" ? " (apt-get install picocom)" : "");
                continue;
            }
            Print(row.c_str(), round, *figures);
            if (figures->intact)
                rates[row].push_back(figures->mbPerSecond);
            const auto [delay, first] = worstDelay.try_emplace(row, figures->worstDelayMs);
            if (!first)
                delay->second = std::max(delay->second, figures->worstDelayMs);
        }
    }
    std::printf("medians (runs with every byte in order); load average %s\n",
                LoadAverage().c_str());
    for (const std::string& row : rows) {
        if (rates[row].empty())
            continue;
        const double median = Median(rates[row]);
        std::printf("  %-13s %8.2f MB/s over %zu rounds", row.c_str(), median, rates[row].size());
        if (worstDelay[row] >= 0)
            std::printf(", worst delay of all rounds %lld ms", worstDelay[row]);
        if (row != "picocom" && !rates["picocom"].empty())
            std::printf(", %.2fx picocom", median / Median(rates["picocom"]));
        const std::string withoutLog = row.substr(0, row.size() - 4);
        if (row.size() > 4 && row.compare(row.size() - 4, 4, "+log") == 0 &&
            !rates[withoutLog].empty())
            std::printf(", %.2fx without the log", median / Median(rates[withoutLog]));
        std::printf("\n");
    }
    return 0;
}
