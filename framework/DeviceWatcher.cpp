#include "framework/DeviceWatcher.h"

#include <libudev.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <cstring>

namespace quillon {

namespace {

// Serial ports (USB adapters included), the usblp nodes and parallel ports.
constexpr const char* kSubsystems[] = {"tty", "usbmisc", "usb", "printer", "parport"};

QString ParentOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

}  // namespace

DeviceWatcher::DeviceWatcher(QStringList paths, std::function<void()> changed, QObject* parent)
    : QObject(parent), paths_(std::move(paths)), changed_(std::move(changed)) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(kQuietMs);
    longest_.setSingleShot(true);
    longest_.setInterval(kLongestWaitMs);
    const auto fire = [this] {
        quiet_.stop();
        longest_.stop();
        changed_();
    };
    connect(&quiet_, &QTimer::timeout, this, fire);
    connect(&longest_, &QTimer::timeout, this, fire);

    files_ = new QFileSystemWatcher(this);
    connect(files_, &QFileSystemWatcher::directoryChanged, this,
            [this](const QString& path) { OnPathEvent(path); });
    connect(files_, &QFileSystemWatcher::fileChanged, this,
            [this](const QString& path) { OnPathEvent(path); });
    for (const QString& path : paths_)
        states_[path] = StateOf(path);
    WatchWhatExists();
    StartUdevMonitor();
}

DeviceWatcher::~DeviceWatcher() {
    delete udevNotifier_;
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
}

void DeviceWatcher::StartUdevMonitor() {
    udev_ = udev_new();
    if (!udev_)
        return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_)
        return;
    for (const char* subsystem : kSubsystems)
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
        return;
    }
    udevNotifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
    connect(udevNotifier_, &QSocketNotifier::activated, this, [this] { OnUdevEvent(); });
}

void DeviceWatcher::OnUdevEvent() {
    bool relevant = false;
    // Take everything waiting, so that the notifier does not fire again for it.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        const char* subsystem = udev_device_get_subsystem(device);
        bool counts = action && std::strcmp(action, "change") != 0;
        if (counts && subsystem && std::strcmp(subsystem, "usb") == 0) {
            // Of the USB devices themselves only printer interfaces (class 7) matter.
            const char* interface = udev_device_get_property_value(device, "INTERFACE");
            counts = interface && std::strncmp(interface, "7/", 2) == 0;
        }
        relevant = relevant || counts;
        udev_device_unref(device);
    }
    if (relevant)
        Note();
}

DeviceWatcher::FileState DeviceWatcher::StateOf(const QString& path) const {
    struct stat info {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {true, static_cast<qint64>(info.st_size),
            static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            static_cast<quint64>(info.st_ino)};
}

void DeviceWatcher::WatchWhatExists() {
    QStringList wanted;
    for (const QString& path : paths_) {
        wanted << path << ParentOf(path);
    }
    const QStringList watched = files_->files() + files_->directories();
    for (const QString& path : wanted) {
        if (!watched.contains(path) && QFileInfo::exists(path))
            files_->addPath(path);
    }
}

void DeviceWatcher::OnPathEvent(const QString& path) {
    bool counts = paths_.contains(path);
    // A parent folder changes for many reasons; only a change of what is watched in it counts.
    for (const QString& wanted : paths_) {
        const FileState now = StateOf(wanted);
        FileState& before = states_[wanted];
        if (now.exists != before.exists || now.size != before.size ||
            now.modifiedNs != before.modifiedNs || now.inode != before.inode)
            counts = true;
        before = now;
    }
    WatchWhatExists();
    if (counts)
        Note();
}

void DeviceWatcher::Note() {
    if (!longest_.isActive())
        longest_.start();
    quiet_.start();
}

}  // namespace quillon
