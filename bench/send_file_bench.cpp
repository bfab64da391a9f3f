// Figures for sending a file from the main window: a 64 MiB file chosen with Browse and
// sent with the file's Send button, from the click until the window shows "Send
// Completed.", against a plain loop of write() calls to the same sink and against cat.
// The sinks: a USB printer on a pty, a parallel port on a FIFO, and a network printer on
// loopback (its page answering on port 80 of a 127.x address, its raw port drained by a
// thread). Prints the median of five rounds of each (`--rounds N` for more), with the
// slowest and fastest round and the load average before and after the row; it judges
// nothing. Name rows (pty, fifo, tcp) to run only those.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/CQuillonDlg.h"
#include "bench/BenchSinks.h"
#include "framework/DialogPrompts.h"
#include "framework/IpAddressEdit.h"
#include "resources/ResourceIds.h"
#include "tests/support/LoopbackPeers.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::size_t kTotal = 64u << 20;

// Answers the file dialog with the bench's file and records nothing else.
class BenchPrompts : public DialogPrompts {
  public:
    explicit BenchPrompts(QString file) : file_(std::move(file)) {}
    int MessageBox(QWidget*, const QString& text, const QString&, unsigned) override {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        return 1;
    }
    QString OpenFile(QWidget*, const QString&, const QString&) override { return file_; }
    QString ChooseFolder(QWidget*, const QString&) override { return {}; }

  private:
    QString file_;
};

// The file read from `in` and written to `out` with blocking calls of 128 KiB, as cat
// (coreutils 9) does.
double CatRate(int out, const std::string& file) {
    const int in = open(file.c_str(), O_RDONLY);
    std::vector<char> buffer(128 << 10);
    const auto start = Clock::now();
    for (;;) {
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w > 0)
                done += w;
        }
    }
    const double seconds = Seconds(Clock::now() - start);
    close(in);
    return kTotal / seconds;
}

double CatRate(const Sink& sink, const std::string& file) {
    Drain drain(sink.testEnd);
    const int out = open(sink.node.c_str(), O_WRONLY | O_NOCTTY);
    const double rate = CatRate(out, file);
    close(out);
    return rate;
}

void Click(CQuillonDlg& dialog, int id) {
    dialog.Item<QAbstractButton>(id)->click();
}

void ChoosePort(CQuillonDlg& dialog, const QString& name) {
    auto* ports = dialog.Item<QComboBox>(IDC_PORT);
    const int index = ports->findText(name);
    ports->setCurrentIndex(index);
    emit ports->activated(index);
}

// Opens the chosen port of a fresh window; the window then waits for the file's Send.
std::unique_ptr<CQuillonDlg> OpenWindow(const QString& port, const std::string& file,
                                        const std::string& address = {}) {
    auto dialog = std::make_unique<CQuillonDlg>(Language::English);
    dialog->SetPrompts(std::make_shared<BenchPrompts>(QString::fromStdString(file)));
    dialog->Create();
    dialog->show();
    ChoosePort(*dialog, port);
    if (!address.empty())
        dialog->Item<IpAddressEdit>(IDC_IP_ADDRESS)->SetAddress(QString::fromStdString(address));
    Click(*dialog, IDC_OPEN_CLOSE);
    if (!dialog->state().port.open) {
        std::fprintf(stderr, "could not open %s\n", port.toUtf8().constData());
        std::exit(1);
    }
    Click(*dialog, IDC_HEX_SEND);
    Click(*dialog, IDC_BROWSE);
    // A user sees the window before pressing its Send: let it show itself first.
    QEventLoop settle;
    QTimer::singleShot(100, &settle, &QEventLoop::quit);
    settle.exec();
    return dialog;
}

// From the click on the file's Send until the window says the send has completed; then
// waits for the sink to have all of it and closes the port. The window's own event loop
// runs meanwhile, sleeping while it has nothing to do, as it does in the program; a timer
// ticking every 5 ms measures how late the loop comes to it at worst.
double SendFromWindow(CQuillonDlg& dialog, const Drain& drain, double* worstDelayMs) {
    QEventLoop loop;
    Clock::time_point end;
    // Checked each time the loop has handled all that is waiting and is about to sleep.
    const QMetaObject::Connection done = QObject::connect(
        QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, [&] {
            if (dialog.ItemText(IDC_FILE_LABEL) == QStringLiteral("Send Completed.")) {
                end = Clock::now();
                loop.quit();
            }
        });
    constexpr int kTickMs = 5;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    auto lastTick = Clock::now();
    *worstDelayMs = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        *worstDelayMs = std::max(*worstDelayMs, Seconds(now - lastTick) * 1000 - kTickMs);
        lastTick = now;
    });
    probe.start(kTickMs);
    const auto start = Clock::now();
    Click(dialog, IDC_SEND_FILE);
    loop.exec();
    QObject::disconnect(done);
    probe.stop();
    const double seconds = Seconds(end - start);
    while (drain.received() < kTotal)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Click(dialog, IDC_OPEN_CLOSE);
    return kTotal / seconds;
}

// The three ways of sending one sink takes, one round each.
struct Ways {
    std::function<double()> plain;
    std::function<double()> cat;
    std::function<double(double* worstDelayMs)> window;
};

int rounds = 5;

// The load average over the last minute: the machine's other work weighs on every figure.
double LoadAverage() {
    double load = 0;
    return getloadavg(&load, 1) == 1 ? load : -1;
}

// The median, slowest and fastest of a way's rounds, in MiB/s.
struct Spread {
    double median, low, high;
};

Spread SpreadOf(std::vector<double> rates) {
    std::sort(rates.begin(), rates.end());
    const std::size_t n = rates.size();
    const double median = n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
    return {median / (1 << 20), rates.front() / (1 << 20), rates.back() / (1 << 20)};
}

// Rounds of each way taken in turns, so that a busy moment of the machine weighs on no one
// way of sending alone; the ratios are of the medians.
void Compare(const char* name, const Ways& ways) {
    std::vector<double> plain, cat, window;
    double worstDelayMs = 0;
    const double loadBefore = LoadAverage();
    for (int round = 0; round < rounds; ++round) {
        plain.push_back(ways.plain());
        cat.push_back(ways.cat());
        double delayMs = 0;
        window.push_back(ways.window(&delayMs));
        worstDelayMs = std::max(worstDelayMs, delayMs);
    }
    const Spread w = SpreadOf(window), p = SpreadOf(plain), c = SpreadOf(cat);
    std::printf("%s, median of %d rounds (slowest-fastest), load average %.2f then %.2f\n", name,
                rounds, loadBefore, LoadAverage());
    std::printf("  window         %8.1f MiB/s (%.1f-%.1f)\n", w.median, w.low, w.high);
    std::printf("  plain write()  %8.1f MiB/s (%.1f-%.1f)  window/plain %.2f\n", p.median, p.low,
                p.high, w.median / p.median);
    std::printf("  cat            %8.1f MiB/s (%.1f-%.1f)  window/cat %.2f\n", c.median, c.low,
                c.high, w.median / c.median);
    std::printf("  worst event-loop delay %.1f ms\n", worstDelayMs);
    std::fflush(stdout);
}

Ways DeviceWays(const Sink& sink, const QString& port, const std::string& file) {
    return {[&sink] { return PlainWriteRate(sink, kTotal); },
            [&sink, file] { return CatRate(sink, file); },
            [&sink, port, file](double* worstDelayMs) {
                Drain drain(sink.testEnd);
                const auto dialog = OpenWindow(port, file);
                return SendFromWindow(*dialog, drain, worstDelayMs);
            }};
}

// A network printer on loopback: the page the program asks before it connects, and the
// raw port, whose every connection is drained by a thread.
struct NetworkPrinter {
    std::string address;
    std::unique_ptr<HttpResponder> page;
    std::unique_ptr<TcpListener> raw;
};

constexpr int kRawPort = 9100;

// A blocking connection of the bench's own to the raw port; the printer's end in *peer.
int ConnectRaw(const NetworkPrinter& printer, int* peer) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kRawPort);
    inet_pton(AF_INET, printer.address.c_str(), &to.sin_addr);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    *peer = printer.raw->Accept(5000);
    return fd;
}

Ways NetworkWays(const NetworkPrinter& printer, const std::string& file) {
    const auto overConnection = [&printer](const std::function<double(int)>& send) {
        int peer = -1;
        const int fd = ConnectRaw(printer, &peer);
        double rate;
        {
            Drain drain(peer);
            rate = send(fd);
            close(fd);
            while (drain.received() < kTotal)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        close(peer);
        return rate;
    };
    return {[overConnection] {
                return overConnection([](int fd) { return PlainWriteRate(fd, kTotal); });
            },
            [overConnection, file] {
                return overConnection([&file](int fd) { return CatRate(fd, file); });
            },
            [&printer, file](double* worstDelayMs) {
                const auto dialog = OpenWindow(QStringLiteral("Ethernet"), file, printer.address);
                const int peer = printer.raw->Accept(5000);
                double rate;
                {
                    Drain drain(peer);
                    rate = SendFromWindow(*dialog, drain, worstDelayMs);
                }
                close(peer);
                return rate;
            }};
}

void CompareNetwork(const std::string& file) {
    ProxyFreeEnvironment noProxy;
    NetworkPrinter printer;
    int error = 0;
    printer.page = StartPrinterPage([](const std::string&) { return StatusReply(200, "OK"); },
                                    printer.address, error);
    if (printer.page) {
        printer.raw = std::make_unique<TcpListener>(printer.address, kRawPort);
        error = printer.raw->error();
    }
    if (!printer.page || error != 0) {
        std::printf("network printer: cannot listen on loopback (%s); run as root\n",
                    std::strerror(error));
        return;
    }
    Compare("network printer on TCP", NetworkWays(printer, file));
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path root =
        fs::temp_directory_path() / ("quillon-send-bench-" + std::to_string(getpid()));
    fs::create_directories(root / "config");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("QUILLON_DEV_ROOT", (root / "dev").c_str(), 1);
    setenv("QUILLON_SYSFS_ROOT", (root / "sys").c_str(), 1);
    setenv("QUILLON_PORT_MAP", (root / "ports").c_str(), 1);
    // A USB printer in the device tree, so that the window lists USB1.
    const fs::path interface = root / "sys/devices/usb1/1-2/1-2:1.0";
    fs::create_directories(interface);
    std::ofstream(root / "sys/devices/usb1/1-2/idVendor") << "0416\n";
    std::ofstream(root / "sys/devices/usb1/1-2/idProduct") << "5011\n";
    fs::create_directories(root / "sys/class/usbmisc/lp0");
    fs::create_symlink(interface, root / "sys/class/usbmisc/lp0/device");

    const std::string file = (root / "job.bin").string();
    {
        std::ofstream out(file, std::ios::binary);
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 31);
        for (std::size_t done = 0; done < kTotal; done += block.size())
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }

    QApplication application(argc, argv);
    const Sink pty = MakePty((root / "dev/usb/lp0").string());
    const Sink fifo = MakeFifo((root / "dev/lp0").string());
    std::printf(
        "a 64 MiB file sent from the window, against write() of 4096-byte pieces "
        "from memory and against cat\n");
    // Rows may be named on the command line: pty, fifo, tcp; all of them by default.
    std::vector<std::string> rows;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            rows.emplace_back(argv[i]);
    }
    const auto wanted = [&](const char* row) {
        return rows.empty() || std::find(rows.begin(), rows.end(), row) != rows.end();
    };
    if (wanted("pty"))
        Compare("USB printer on a pty", DeviceWays(pty, QStringLiteral("USB1"), file));
    if (wanted("fifo"))
        Compare("parallel port on a FIFO", DeviceWays(fifo, QStringLiteral("LPT1"), file));

    if (wanted("tcp"))
        CompareNetwork(file);

    close(pty.testEnd);
    close(fifo.testEnd);
    fs::remove_all(root);
    return 0;
}
