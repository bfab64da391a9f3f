#include "tests/support/HoldingProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace quillon {

namespace {

std::string CommandName(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

HoldingProgram::HoldingProgram(const std::string& device) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // Only async-signal-safe calls until exec. The device stays open across it.
        char held = '1';
        if (!device.empty()) {
            const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0)
                held = '0';
        }
        (void)!write(ready[1], &held, 1);
        execl("/bin/sleep", "sleep", "300", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    char held = '0';
    const bool told = read(ready[0], &held, 1) == 1;
    close(ready[0]);
    if (!told || held != '1') {
        End();
        throw std::runtime_error("the holding program could not hold " + device);
    }
    // Named "sleep" once it has been executed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (CommandName(pid_) != "sleep" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

HoldingProgram::~HoldingProgram() {
    End();
}

void HoldingProgram::End() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace quillon
