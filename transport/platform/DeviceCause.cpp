#include "transport/platform/DeviceCause.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "transport/platform/DeviceRoots.h"

namespace quillon {

namespace {

std::string UserName(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

// The groups the group database gives this user, which a new login would have.
bool UserListedInGroup(gid_t gid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* user = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &user) != 0 || !user)
        return false;
    if (user->pw_gid == gid)
        return true;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The groups this process runs with, which are those its login started with.
bool SessionHasGroup(gid_t gid) {
    if (getegid() == gid)
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

std::string ProgramName(int pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool Alive(int pid) {
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

DeviceHolder HolderOf(int pid) {
    DeviceHolder holder;
    holder.pid = pid;
    holder.program = ProgramName(pid);
    holder.thisProcess = pid == getpid();
    return holder;
}

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3: the node's own name below
// /dev, whatever link led to it.
std::string LockFileName(const std::string& path) {
    char real[PATH_MAX];
    std::string name = realpath(path.c_str(), real) ? real : path;
    if (name.rfind("/dev/", 0) == 0)
        name.erase(0, 5);
    else if (const auto slash = name.rfind('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

// The PID a lock file holds: ten ASCII digits as most programs write it, or a binary int as
// old ones did.
int LockFilePid(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (content.size() == sizeof(int) &&
        std::none_of(content.begin(), content.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int pid = 0;
        std::copy(content.begin(), content.end(), reinterpret_cast<char*>(&pid));
        return pid;
    }
    const char* text = content.c_str();
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return end != text && pid > 0 && pid <= INT_MAX ? static_cast<int>(pid) : 0;
}

// The first process found with the device open, another process before this one.
DeviceHolder DescriptorHolder(const std::string& path) {
    struct stat device {};
    if (stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode))
        return {};
    DIR* proc = opendir("/proc");
    if (!proc)
        return {};
    int self = 0;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0)
            continue;
        const std::string fds = "/proc/" + std::string(entry->d_name) + "/fd";
        DIR* dir = opendir(fds.c_str());  // another user's process: not readable, skipped
        if (!dir)
            continue;
        bool holds = false;
        while (const dirent* fd = readdir(dir)) {
            struct stat target {};
            if (fd->d_name[0] != '.' && stat((fds + "/" + fd->d_name).c_str(), &target) == 0 &&
                S_ISCHR(target.st_mode) && target.st_rdev == device.st_rdev) {
                holds = true;
                break;
            }
        }
        closedir(dir);
        if (!holds)
            continue;
        if (pid == getpid()) {
            self = static_cast<int>(pid);
            continue;
        }
        closedir(proc);
        return HolderOf(static_cast<int>(pid));
    }
    closedir(proc);
    return self ? HolderOf(self) : DeviceHolder{};
}

}  // namespace

NodeAccess ReadNodeAccess(const std::string& path) {
    NodeAccess access;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return access;
    access.known = true;
    access.owner = UserName(info.st_uid);
    access.group = GroupName(info.st_gid);
    access.mode = info.st_mode & 07777;
    access.groupMayUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    access.userInGroup = UserListedInGroup(info.st_gid);
    access.sessionHasGroup = SessionHasGroup(info.st_gid);
    return access;
}

DeviceHolder LockFileHolder(const std::string& path) {
    const std::string name = LockFileName(path);
    for (const std::string& dir : LockDirs()) {
        const int pid = LockFilePid(dir + "/" + name);
        // A lock whose program has ended is stale: it holds nothing.
        if (Alive(pid))
            return HolderOf(pid);
    }
    return {};
}

DeviceHolder FindDeviceHolder(const std::string& path) {
    const DeviceHolder locked = LockFileHolder(path);
    if (locked.pid != 0 && !locked.thisProcess)
        return locked;
    return DescriptorHolder(path);
}

void ExplainDeviceFailure(OpenOutcome& outcome) {
    if (outcome.error == EACCES || outcome.error == EPERM)
        outcome.access = ReadNodeAccess(outcome.device);
    else if (outcome.error == EBUSY || outcome.step == OpenStep::kClaim)
        outcome.holder = FindDeviceHolder(outcome.device);
}

}  // namespace quillon
