#include <memory>
#include <utility>

#include "transport/CommonUtils.h"
#include "transport/PortChannel.h"
#include "transport/TransportState.h"
#include "transport/platform/HttpProbe.h"
#include "transport/platform/PrinterSocket.h"

namespace quillon {

int CommonUtils::OpenNetwork(WindowRef owner, const char* address, int tcpPort) {
    // A printer that does not show its web page is not connected, whatever the raw port.
    if (!ProbeHttp(address))
        return 0;
    owner_ = std::move(owner);
    const int fd = ConnectPrinterSocket(address, tcpPort);
    if (fd < 0)
        return 0;
    auto channel = std::make_shared<PortChannel>(kPortNetwork, owner_);
    channel->socketFd = fd;
    // The channel, going out of scope, hangs up and closes the socket.
    if (!channel->EventsReady())
        return 0;
    AdoptChannel(std::move(channel), kPortNetwork);
    StartThreads();
    return 1;
}

}  // namespace quillon
