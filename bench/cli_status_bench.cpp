// How long `quillon-cli status` takes on the virtual printer's pseudo-terminal, start-up
// included, against the floor: the same four DLE EOT requests and their four answers
// exchanged through a bare socat on the same terminal. Wall time per call, median of 20
// rounds each. socat is ended once the fourth answer byte is in; its exit is not counted.
// Usage: cli_status_bench [rounds]

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const char* kAddress = "127.0.0.94";

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Spawns `args` with `env`; stdin and stdout from the given descriptors (-1: /dev/null).
pid_t Spawn(std::vector<std::string> args, std::vector<std::string> env, int in, int out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&actions, in, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Reads until `count` bytes came or 5 s passed; what came.
std::string ReadSome(int fd, std::size_t count, std::string until = {}) {
    std::string got;
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (got.size() < count && Clock::now() < end) {
        if (!until.empty() && got.find(until) != std::string::npos)
            break;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Row(const char* name, std::vector<double> times, int failures) {
    std::sort(times.begin(), times.end());
    if (times.empty()) {
        std::printf("%-34s no successful round (%d failed)\n", name, failures);
        return;
    }
    std::printf("%-34s median %6.1f ms  min %6.1f  max %6.1f  (%zu rounds, %d failed)\n", name,
                times[times.size() / 2], times.front(), times.back(), times.size(), failures);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    char folder[] = "/tmp/cli-status-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = folder;
    std::filesystem::create_directories(dir + "/dev");
    std::filesystem::create_directories(dir + "/sys");
    // Discovery looks only at the empty trees and the map: no device of this machine opens.
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                          "HOME=" + dir,
                                          "QUILLON_PORT_MAP=" + dir + "/ports",
                                          "QUILLON_DEV_ROOT=" + dir + "/dev",
                                          "QUILLON_SYSFS_ROOT=" + dir + "/sys",
                                          "XDG_RUNTIME_DIR=" + dir,
                                          "PATH=/usr/bin:/bin"};

    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return 1;
    const pid_t printer =
        Spawn({QUILLON_PRINTER, "--headless", "--out", dir + "/pages", "--port-map", dir + "/ports",
               "--address", kAddress, "--ready-json"},
              env, -1, ready[1]);
    close(ready[1]);
    const std::string line = ReadSome(ready[0], 4096, "\n");
    const std::size_t at = line.find("\"pty\":\"");
    if (printer < 0 || at == std::string::npos) {
        std::fprintf(stderr, "the virtual printer did not start: %s\n", line.c_str());
        return 1;
    }
    const std::string pty = line.substr(at + 7, line.find('"', at + 7) - at - 7);

    std::vector<double> cli;
    int cliFailures = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        const pid_t pid = Spawn({QUILLON_CLI, "status", "COM9"}, env, -1, -1);
        int status = 0;
        waitpid(pid, &status, 0);
        if (pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            cli.push_back(Ms(Clock::now() - start));
        else
            ++cliFailures;
    }

    std::vector<double> floor;
    int socatFailures = 0;
    const std::string requests = "\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04";
    for (int i = 0; i < rounds; ++i) {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return 1;
        const auto start = Clock::now();
        const pid_t pid =
            Spawn({"/usr/bin/socat", "STDIO", pty + ",raw,echo=0"}, env, in[0], out[1]);
        close(in[0]);
        close(out[1]);
        const bool wrote =
            write(in[1], requests.data(), requests.size()) == static_cast<ssize_t>(requests.size());
        const std::string answers = ReadSome(out[0], 4);
        const auto took = Clock::now() - start;
        if (pid > 0 && wrote && answers.size() == 4)
            floor.push_back(Ms(took));
        else
            ++socatFailures;
        close(in[1]);
        close(out[0]);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    kill(printer, SIGTERM);
    waitpid(printer, nullptr, 0);
    std::filesystem::remove_all(dir);

    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("status on the virtual printer's pty, wall time per call, load %.2f %.2f %.2f\n",
                load[0], load[1], load[2]);
    Row("quillon-cli status COM9", cli, cliFailures);
    Row("socat, the same 12 bytes out, 4 in", floor, socatFailures);
    std::printf("(socat is ended after the 4th answer byte; its exit is not counted)\n");
    return cliFailures == 0 && socatFailures == 0 ? 0 : 1;
}
