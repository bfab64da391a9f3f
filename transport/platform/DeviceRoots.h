#pragma once
// Where devices are opened and where the device tree is read. Tests point both at a
// temporary tree of their own ($QUILLON_DEV_ROOT, $QUILLON_SYSFS_ROOT,
// $QUILLON_LOCK_DIR).

#include <string>
#include <vector>

namespace quillon {

// "/dev" unless $QUILLON_DEV_ROOT names another folder; never with a trailing '/'.
std::string DevRoot();
// "/sys" unless $QUILLON_SYSFS_ROOT names another folder; never with a trailing '/'.
std::string SysfsRoot();
// A device path below the device root: DevicePath("usb/lp0") is "/dev/usb/lp0".
// Absolute paths that already start with "/dev/" are moved below the root as well.
std::string DevicePath(const std::string& path);
// The folders where serial programs leave UUCP lock files ("LCK..ttyUSB0"): /run/lock and
// /var/lock, or only $QUILLON_LOCK_DIR when it is set.
std::vector<std::string> LockDirs();

}  // namespace quillon
