#include "transport/platform/DeviceRoots.h"

#include <cstdlib>

namespace quillon {

namespace {

std::string RootFromEnvironment(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    std::string root = (value && *value) ? value : fallback;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

}  // namespace

std::string DevRoot() {
    return RootFromEnvironment("QUILLON_DEV_ROOT", "/dev");
}

std::string SysfsRoot() {
    return RootFromEnvironment("QUILLON_SYSFS_ROOT", "/sys");
}

std::string DevicePath(const std::string& path) {
    const std::string root = DevRoot();
    if (path.rfind("/dev/", 0) == 0)
        return root + path.substr(4);
    if (!path.empty() && path.front() == '/')
        return path;
    return root + "/" + path;
}

std::vector<std::string> LockDirs() {
    const char* value = std::getenv("QUILLON_LOCK_DIR");
    if (value && *value)
        return {value};
    return {"/run/lock", "/var/lock"};
}

}  // namespace quillon
