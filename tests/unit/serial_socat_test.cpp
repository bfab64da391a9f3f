// A serial port against a peer this project did not write: socat makes the
// pseudo-terminal and passes every byte through cat, which sends it straight back.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/support/SerialFixture.h"
#include "transport/WorkerThreads.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

// socat with a pty at `link` on one side and cat on the other; ended by its pid.
class SocatEcho {
  public:
    explicit SocatEcho(const std::string& link) {
        const std::string pty = "PTY,link=" + link + ",raw,echo=0";
        pid_ = fork();
        if (pid_ == 0) {
            execlp("socat", "socat", pty.c_str(), "EXEC:cat", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 1000 && !std::filesystem::exists(link) && Running(); ++i)
            std::this_thread::sleep_for(10ms);
    }
    ~SocatEcho() { Stop(); }
    bool Running() {
        if (pid_ <= 0)
            return false;
        if (waitpid(pid_, &status_, WNOHANG) == pid_)
            pid_ = -1;
        return pid_ > 0;
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, &status_, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    int status_ = 0;
};

bool HaveSocat() {
    return system("command -v socat >/dev/null 2>&1") == 0;
}

class SerialSocatTest : public SerialFixture {
  protected:
    void TearDown() override {
        for (int i = 0; i < 1000 && LiveWorkerCount() != 0; ++i)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(LiveWorkerCount(), 0);
    }
};

TEST_F(SerialSocatTest, EchoPeerSendsEveryByteBackInOrder) {
    if (!HaveSocat())
        GTEST_SKIP() << "socat is not installed";
    const std::string link = root_.path() + "/ttySOCAT";
    SocatEcho peer(link);
    ASSERT_TRUE(peer.Running()) << "socat did not start";
    WriteMap("COM4=" + link + "\n");
    CommonUtils port;
    ASSERT_TRUE(Open(port, 4, 115200, 'N', 8, 1, 0));
    std::string block;
    for (int i = 0; i < 3000; ++i)
        block.push_back(static_cast<char>(i * 7 & 0xFF));
    SendOnWindow(port, block);
    ASSERT_TRUE(
        window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) >= block.size(); }, 30s));
    EXPECT_EQ(window_->ReceivedBytes(), block);
    ASSERT_EQ(window_->Count(UM_TX_DONE), 1u);

    // The peer goes away under the open port: nothing spins, the port still closes.
    peer.Stop();
    SendOnWindow(port, "gone");
    ASSERT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_TX_DONE) == 2; }));
    EXPECT_TRUE(window_->Reports().back().outcome.failed());
    CloseOnWindow(port);
    EXPECT_EQ(port.GetSerialHandle(), -1);
}

}  // namespace
