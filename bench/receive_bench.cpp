// Figures for the receive display: the real main window (offscreen) with a pseudo-terminal
// registered as COM1, opened with its Open Port button, whose other end floods 16 MiB of
// mixed text and binary: in the character view, in the hexadecimal view, and in the character
// view of the Chinese interface (GB18030), each with the session log off and on (the log in a
// temporary folder, its lines counted after the port is closed). The first window of each
// language pays for loading fonts and filling caches, so one of each runs first, unprinted.
// Prints the bytes per second that reach
// the receive area, the worst delay of the window's event loop during the flood, and the
// resident memory per received byte at the end; then what a plain reader (head -c) drains
// from the same kind of flood. Prints figures only; it judges nothing.

#include <fcntl.h>
#include <pty.h>
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
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "app/CQuillonDlg.h"
#include "resources/ResourceIds.h"
#include "transport/SessionLog.h"

extern char** environ;

using namespace quillon;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::size_t kTotal = 16u << 20;

// Printer answers and dumps: text lines with CR LF between runs of arbitrary bytes.
std::string MixedFlood() {
    std::string data;
    data.reserve(kTotal);
    std::mt19937 random(2024);
    int line = 0;
    while (data.size() < kTotal) {
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
    data.resize(kTotal);
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

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 10, '\n');
    }
    return -1;
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

// The lines of the session logs in `folder`, all files together.
long LogLines(const fs::path& folder) {
    long lines = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::ifstream in(entry.path());
        lines +=
            std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
    }
    return lines;
}

void RunDialog(const std::string& data, bool hex, Language language, const fs::path& portMap,
               bool sessionLog, const fs::path& logFolder, bool print = true) {
    Pty pty;
    std::ofstream(portMap) << "COM1=" << pty.slavePath << "\n";
    setenv("QUILLON_SESSION_LOG", sessionLog ? "1" : "0", 1);
    fs::remove_all(logFolder);

    auto dialog = std::make_unique<CQuillonDlg>(language);
    dialog->Create();
    dialog->show();
    if (hex)
        dialog->Item<QAbstractButton>(IDC_HEX_SHOW)->click();
    QApplication::processEvents();
    const long rssBefore = ResidentKiB();
    // The port list holds COM1 alone (and the network entry after it); open it as a user does.
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
    const long rssAfter = ResidentKiB();

    // What the receive texts hold now (everything since the area last emptied itself)
    // must be the flood's last bytes, in order.
    const std::string kept = received.charText.toStdString();
    const std::string tail = data.substr(data.size() - std::min(data.size(), kept.size()));
    const bool intact = received.count == data.size() && kept == tail &&
                        received.hexText.toStdString() == HexOf(tail);
    if (!print) {
        dialog->Item<QAbstractButton>(IDC_OPEN_CLOSE)->click();
        return;
    }
    const char* view = hex ? "hex" : language == Language::Chinese ? "GB18030" : "character";
    std::printf(
        "%-10s view, session log %-3s: %7.2f MB/s into the receive area, worst event-loop delay "
        "%4lld ms, %s\n",
        view, sessionLog ? "on" : "off", data.size() / seconds / 1e6,
        static_cast<long long>(worstDelayMs),
        intact ? "every byte in order" : "BYTES LOST OR OUT OF ORDER");
    std::printf(
        "%-10s       resident memory %.3f bytes per received byte (%.3f of it added "
        "during the flood), %u bytes counted, %zu kept\n",
        "", rssAfter * 1024.0 / data.size(), (rssAfter - rssBefore) * 1024.0 / data.size(),
        received.count, kept.size());
    std::printf(
        "%-10s       %.0f ms of CPU in all (the pty peer's writes included), %.2f "
        "MB per CPU second\n",
        "", cpu * 1e3, data.size() / cpu / 1e6);
    dialog->Item<QAbstractButton>(IDC_OPEN_CLOSE)->click();
    dialog.reset();
    if (sessionLog) {
        // The writer finishes the log by itself once the port is closed.
        for (int i = 0; i < 500 && LiveSessionWriters() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::printf("%-10s       session log: %ld lines\n", "", LogLines(logFolder));
    }
}

// A plain reader of the same flood: head -c stops after the 16 MiB, as cat would drain it.
void RunPlainReader(const std::string& data) {
    Pty pty;
    const int slave = open(pty.slavePath.c_str(), O_RDONLY | O_NOCTTY);
    const std::string count = std::to_string(data.size());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"head", "-c", count.c_str(), nullptr};
    pid_t pid = 0;
    const auto start = Clock::now();
    if (posix_spawnp(&pid, "head", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
        std::printf("head could not be started\n");
        return;
    }
    close(slave);
    std::thread printer([&] { WriteAll(pty.master, data); });
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    printer.join();
    posix_spawn_file_actions_destroy(&actions);
    std::printf("%-10s       %7.2f MB/s drained by head -c from the same kind of pty flood\n",
                "plain", data.size() / seconds / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
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
    const fs::path logFolder = root / "state" / "Quillon" / "sessions";

    QApplication app(argc, argv);
    const std::string data = MixedFlood();
    std::printf("16 MiB flood from a pty registered as COM1\n");
    RunDialog(data, false, Language::English, root / "ports", false, logFolder, false);
    RunDialog(data, false, Language::Chinese, root / "ports", false, logFolder, false);
    // Each view with the log off and right after with it on, so both meet the same load.
    for (const bool log : {false, true})
        RunDialog(data, false, Language::English, root / "ports", log, logFolder);
    for (const bool log : {false, true})
        RunDialog(data, true, Language::English, root / "ports", log, logFolder);
    // The Chinese interface reads the same bytes as GB18030, where most binary bytes start or
    // continue a two-byte character.
    for (const bool log : {false, true})
        RunDialog(data, false, Language::Chinese, root / "ports", log, logFolder);
    RunPlainReader(data);
    fs::remove_all(root);
    return 0;
}
