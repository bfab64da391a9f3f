// Opens in a process that runs out of descriptors on the way: every port kind either opens
// whole (its bytes arrive) or fails, lets its device go and starts no worker. Each case
// runs in a forked child, so the low descriptor limit touches no other test.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FakeDevices.h"
#include "tests/support/LoopbackPeers.h"
#include "transport/CommonUtils.h"
#include "transport/WorkerThreads.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

// Descriptors the opens below may take, from none to enough for every kind.
constexpr int kMostFree = 8;

int HighestOpenDescriptor() {
    int highest = -1;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir))
            highest = std::max(highest, std::atoi(entry->d_name));
        closedir(dir);
    }
    return highest;
}

// Leaves the process exactly `free` descriptors to open until the object goes.
class DescriptorSqueeze {
  public:
    explicit DescriptorSqueeze(int free) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit low = saved_;
        low.rlim_cur = static_cast<rlim_t>(HighestOpenDescriptor() + 1 + kMostFree);
        setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            fillers_.push_back(fd);
        for (int i = 0; i < free && !fillers_.empty(); ++i) {
            close(fillers_.back());
            fillers_.pop_back();
        }
    }
    ~DescriptorSqueeze() {
        for (int fd : fillers_)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorSqueeze(const DescriptorSqueeze&) = delete;
    DescriptorSqueeze& operator=(const DescriptorSqueeze&) = delete;

  private:
    rlimit saved_{};
    std::vector<int> fillers_;
};

bool WaitForWorkers(int count) {
    for (int i = 0; i < 400 && LiveWorkerCount() != count; ++i)
        std::this_thread::sleep_for(5ms);
    return LiveWorkerCount() == count;
}

// One port kind: how to open it, and whether a send through the open port arrives.
struct Kind {
    const char* name;
    std::function<OpenOutcome(CommonUtils&)> open;
    std::function<bool(CommonUtils&)> carries;
};

// Opens the kind with 0 to kMostFree descriptors left; returns what went wrong.
std::string TryWithFewDescriptors(const Kind& kind) {
    std::string faults;
    auto fault = [&](int free, const std::string& what) {
        faults +=
            std::string(kind.name) + " with " + std::to_string(free) + " free: " + what + "\n";
    };
    bool everOpened = false;
    for (int free = 0; free <= kMostFree; ++free) {
        const int descriptors = OpenDescriptorCount();
        const int workers = LiveWorkerCount();
        CommonUtils port;
        OpenOutcome opened;
        {
            DescriptorSqueeze squeeze(free);
            opened = kind.open(port);
        }
        if (opened) {
            everOpened = true;
            if (!kind.carries(port))
                fault(free, "opened, but a send did not arrive");
        } else {
            if (OpenDescriptorCount() != descriptors)
                fault(free, "failed, but kept descriptors");
            if (LiveWorkerCount() != workers)
                fault(free, "failed, but started a worker");
        }
        port.Close();
        if (!WaitForWorkers(workers))
            fault(free, "a worker outlived Close");
    }
    if (!everOpened)
        fault(kMostFree, "never opened at all");
    return faults;
}

// Runs the kinds in a forked child and passes when it found nothing wrong.
void ExpectEveryKindSound(const std::vector<Kind>& kinds) {
    EXPECT_EXIT(
        {
            std::string faults;
            for (const Kind& kind : kinds)
                faults += TryWithFewDescriptors(kind);
            std::fputs(faults.c_str(), stderr);
            std::fflush(stderr);
            std::_Exit(faults.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

bool UnderThreadSanitizer() {
#if defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    return false;
}

class OpenWithoutDescriptorsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The child starts workers once an open succeeds, which ThreadSanitizer does not
        // allow after a fork of a process with threads.
        if (UnderThreadSanitizer())
            GTEST_SKIP() << "forks a process with threads";
        // No worker of an earlier test may be half-way through anything at the fork.
        ASSERT_TRUE(WaitForWorkers(0)) << "workers left from an earlier test";
        GTEST_FLAG_SET(death_test_style, "fast");
    }
};

TEST_F(OpenWithoutDescriptorsTest, DevicePortsOpenWholeOrNotAtAll) {
    TempDir root;
    ScopedEnv devRoot("QUILLON_DEV_ROOT", root.MakeDirs("dev"));
    ScopedEnv sysfsRoot("QUILLON_SYSFS_ROOT", root.MakeDirs("sys"));
    ScopedEnv portMap("QUILLON_PORT_MAP", root.path() + "/ports");
    PtyPair device;
    root.WriteFile("ports", "COM1=" + device.slavePath() + "\n");
    LinkNode(root.path() + "/dev/lp0", device.slavePath());
    LinkNode(root.path() + "/dev/usb/lp0", device.slavePath());

    auto arrives = [&](CommonUtils& port) {
        port.Send("ok", 2);
        return device.ReadMaster(2, 2000) == "ok";
    };
    const std::vector<Kind> kinds = {
        {"parallel", [](CommonUtils& port) { return port.OpenParallel(nullptr, "LPT1"); }, arrives},
        {"write-only USB",
         [](CommonUtils& port) {
             return port.OpenUsb(nullptr, "/dev/usb/lp0#usb#vid_067b&pid_2305#1-3:1.0");
         },
         arrives},
        {"USB",
         [](CommonUtils& port) {
             return port.OpenUsb(nullptr, "/dev/usb/lp0#usb#vid_0416&pid_5011#1-2:1.0");
         },
         arrives},
        {"serial",
         [](CommonUtils& port) { return port.OpenSerial(nullptr, 1, 9600, 'N', 8, 1, 0, 0, 1, 1); },
         arrives},
        {"serial by text", [](CommonUtils& port) { return port.OpenSerialByText(1, "9600,N,8,1"); },
         [&](CommonUtils& port) {
             port.SendDirect("ok", 2);
             return device.ReadMaster(2, 2000) == "ok";
         }},
    };
    ExpectEveryKindSound(kinds);
}

TEST_F(OpenWithoutDescriptorsTest, ANetworkPortOpensWholeOrNotAtAll) {
    ProxyFreeEnvironment environment;
    // The page answers from this process; the child probes it and uses the raw port.
    START_PAGE(page, [](const std::string&) { return StatusReply(200, "OK"); });
    TcpListener raw(address, 9100);
    ASSERT_EQ(raw.error(), 0);

    const Kind network{
        "network",
        [&](CommonUtils& port) { return port.OpenNetwork(nullptr, address.c_str(), 9100); },
        [&](CommonUtils& port) {
            port.Send("ok", 2);
            // Connections of failed opens wait before this one, already closed.
            for (int peer; (peer = raw.Accept(2000)) >= 0;) {
                const bool arrived = ReadSome(peer, 2, 2000) == "ok";
                close(peer);
                if (arrived)
                    return true;
            }
            return false;
        }};
    ExpectEveryKindSound({network});
}

}  // namespace
