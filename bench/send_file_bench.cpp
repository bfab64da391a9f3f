// Figures for sending a file from the main window: a 64 MiB file chosen with Browse and
// sent with the file's Send button, from the click until the window shows "Send
// Completed.", against a plain loop of write() calls to the same sink and against cat.
// Prints the best of three rounds of each; it judges nothing.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/CQuillonDlg.h"
#include "bench/BenchSinks.h"
#include "framework/DialogPrompts.h"
#include "resources/ResourceIds.h"

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

// The same file read and written in 64 KiB pieces, as cat does.
double CatRate(const Sink& sink, const std::string& file) {
    Drain drain(sink.testEnd);
    const int out = open(sink.node.c_str(), O_WRONLY | O_NOCTTY);
    const int in = open(file.c_str(), O_RDONLY);
    std::vector<char> buffer(1 << 16);
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
    close(out);
    return kTotal / seconds;
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

// From the click on the file's Send until the window says the send has completed.
double WindowSendRate(const Sink& sink, const QString& port, const std::string& file,
                      double* worstTurnMs) {
    Drain drain(sink.testEnd);
    CQuillonDlg dialog(Language::English);
    dialog.SetPrompts(std::make_shared<BenchPrompts>(QString::fromStdString(file)));
    dialog.Create();
    dialog.show();
    ChoosePort(dialog, port);
    Click(dialog, IDC_OPEN_CLOSE);
    if (!dialog.state().port.open) {
        std::fprintf(stderr, "could not open %s\n", port.toUtf8().constData());
        std::exit(1);
    }
    Click(dialog, IDC_HEX_SEND);
    Click(dialog, IDC_BROWSE);
    const auto start = Clock::now();
    Click(dialog, IDC_SEND_FILE);
    auto lastTurn = Clock::now();
    *worstTurnMs = 0;
    while (dialog.ItemText(IDC_FILE_LABEL) != QStringLiteral("Send Completed.")) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const auto now = Clock::now();
        *worstTurnMs = std::max(*worstTurnMs, Seconds(now - lastTurn) * 1000);
        lastTurn = now;
    }
    const double seconds = Seconds(Clock::now() - start);
    while (drain.received() < kTotal)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Click(dialog, IDC_OPEN_CLOSE);
    return kTotal / seconds;
}

// Best of three rounds of each, taken in turns, so that a busy moment of the machine
// weighs on no one way of sending alone.
void Compare(const char* name, const Sink& sink, const QString& port, const std::string& file) {
    double plain = 0, cat = 0, window = 0, worstTurnMs = 0;
    for (int round = 0; round < 3; ++round) {
        plain = std::max(plain, PlainWriteRate(sink, kTotal));
        cat = std::max(cat, CatRate(sink, file));
        double turnMs = 0;
        window = std::max(window, WindowSendRate(sink, port, file, &turnMs));
        worstTurnMs = std::max(worstTurnMs, turnMs);
    }
    std::printf(
        "%-24s window %7.1f MiB/s  plain write() %7.1f MiB/s (ratio %.2f)  "
        "cat %7.1f MiB/s (ratio %.2f)  longest event-loop turn %.1f ms\n",
        name, window / (1 << 20), plain / (1 << 20), window / plain, cat / (1 << 20), window / cat,
        worstTurnMs);
    std::fflush(stdout);
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
    Compare("USB printer on a pty", pty, QStringLiteral("USB1"), file);
    Compare("parallel port on a FIFO", fifo, QStringLiteral("LPT1"), file);

    close(pty.testEnd);
    close(fifo.testEnd);
    fs::remove_all(root);
    return 0;
}
