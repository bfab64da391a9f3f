#pragma once
// Tells its owner, on the UI event loop, that the machine's devices may have changed: from
// the udev monitor (serial, USB printer and parallel devices), and from the folders and
// files it is asked to watch, which also serves where no udev daemon runs (containers,
// test machines, a fake device tree). Plugging in one adapter fires a burst of events;
// the burst becomes one call of `changed`, once things have been quiet for a moment.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>

class QFileSystemWatcher;
class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace quillon {

class DeviceWatcher : public QObject {
  public:
    // `paths`: folders and files to watch; each may come and go, and its parent folder is
    // watched so that it is picked up when it appears.
    DeviceWatcher(QStringList paths, std::function<void()> changed, QObject* parent = nullptr);
    ~DeviceWatcher() override;

    // How long the devices must be quiet before `changed` runs, and the longest a steady
    // stream of events can hold it back.
    static constexpr int kQuietMs = 250;
    static constexpr int kLongestWaitMs = 1500;

  private:
    struct FileState {
        bool exists = false;
        qint64 size = -1;
        qint64 modifiedNs = 0;
        quint64 inode = 0;
    };

    void StartUdevMonitor();
    void OnUdevEvent();
    void OnPathEvent(const QString& path);
    void WatchWhatExists();
    FileState StateOf(const QString& path) const;
    void Note();

    QStringList paths_;
    std::function<void()> changed_;
    QFileSystemWatcher* files_ = nullptr;
    std::map<QString, FileState> states_;
    QTimer quiet_;
    QTimer longest_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* udevNotifier_ = nullptr;
};

}  // namespace quillon
