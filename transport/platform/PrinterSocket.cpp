#include "transport/platform/PrinterSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace quillon {

namespace {

constexpr int kSocketTimeoutMs = 2000;  // SO_SNDTIMEO and SO_RCVTIMEO
constexpr int kWritableWaitMs = 3000;   // after connect

// 0 once connected, else the errno of the attempt.
int ConnectAndWait(int fd, const sockaddr_in& peer) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 &&
        errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    // On Linux the send time-out also ends a blocking connect (EINPROGRESS) while the
    // attempt goes on in the background; the writability wait gives it the rest of its time.
    // After a connect that completed, the socket is writable at once.
    pollfd p{fd, POLLOUT, 0};
    int ready;
    do {
        ready = poll(&p, 1, kWritableWaitMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return errno;
    if (ready == 0)
        return ETIMEDOUT;
    // A failed attempt makes the socket writable too; its error says which it was.
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

}  // namespace

int ConnectPrinterSocket(const char* address, int port, int* error) {
    int unused = 0;
    int& why = error ? *error : unused;
    why = 0;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (!address || inet_pton(AF_INET, address, &peer.sin_addr) != 1 || port < 1 || port > 65535) {
        why = EINVAL;
        return -1;
    }
    peer.sin_port = htons(static_cast<uint16_t>(port));

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        why = errno;
        return -1;
    }
    const timeval timeout{kSocketTimeoutMs / 1000, (kSocketTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    why = ConnectAndWait(fd, peer);
    const int flags = why == 0 ? fcntl(fd, F_GETFL) : -1;
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        if (why == 0)
            why = errno;
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace quillon
