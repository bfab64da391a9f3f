#pragma once
// The calling thread alone runs as the user and group nobody, without supplementary groups,
// for the life of the object, and as root again afterwards: what a user who is in none of
// the device groups meets, without a second process. The raw system calls change only the
// calling thread (the C library's wrappers would change every thread); the real and saved
// user ids stay 0, so root comes back.

#include <grp.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

namespace quillon {

class NobodyOnThisThread {
  public:
    static constexpr unsigned kNobody = 65534;

    NobodyOnThisThread() {
        if (geteuid() != 0)
            return;
        gid_ = getegid();
        const int count = getgroups(0, nullptr);
        groups_.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        if (count > 0 && getgroups(count, groups_.data()) != count)
            return;
        active_ = syscall(SYS_setgroups, 0, nullptr) == 0 &&
                  syscall(SYS_setresgid, -1, kNobody, -1) == 0 &&
                  syscall(SYS_setresuid, -1, kNobody, -1) == 0;
        if (!active_)
            Restore();
    }
    ~NobodyOnThisThread() {
        if (active_)
            Restore();
    }
    NobodyOnThisThread(const NobodyOnThisThread&) = delete;
    NobodyOnThisThread& operator=(const NobodyOnThisThread&) = delete;

    // False when not run as root: the thread is unchanged.
    bool active() const { return active_; }

  private:
    void Restore() {
        (void)syscall(SYS_setresuid, -1, 0, -1);
        (void)syscall(SYS_setresgid, -1, gid_, -1);
        (void)syscall(SYS_setgroups, groups_.size(), groups_.data());
    }

    gid_t gid_ = 0;
    std::vector<gid_t> groups_;
    bool active_ = false;
};

}  // namespace quillon
