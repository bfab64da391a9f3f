#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "transport/CommonUtils.h"
#include "transport/PortChannel.h"
#include "transport/TransportState.h"
#include "transport/platform/HttpProbe.h"
#include "transport/platform/PrinterSocket.h"

namespace quillon {

OpenOutcome CommonUtils::OpenNetwork(WindowRef owner, const char* address, int tcpPort,
                                     bool probeWebPage) {
    const std::string printer = address ? address : "";
    // A printer that does not show its web page is not connected, whatever the raw port.
    ProbeAnswer answer;
    if (probeWebPage && !ProbeHttp(address, &answer)) {
        // Text that is no dotted IPv4 address names no printer at all.
        OpenOutcome outcome =
            OpenFailure(answer.error == EINVAL ? OpenStep::kSettings : OpenStep::kWebPage,
                        answer.error, printer);
        outcome.httpStatus = answer.status;
        return outcome;
    }
    owner_ = std::move(owner);
    int error = 0;
    const int fd = ConnectPrinterSocket(address, tcpPort, &error);
    if (fd < 0) {
        OpenOutcome outcome = OpenFailure(OpenStep::kConnect, error, printer);
        outcome.tcpPort = tcpPort;
        return outcome;
    }
    auto channel = std::make_shared<PortChannel>(kPortNetwork, owner_);
    channel->socketFd = fd;
    // The channel, going out of scope, hangs up and closes the socket.
    if (!channel->EventsReady())
        return OpenFailure(OpenStep::kResources, EMFILE, printer);
    AdoptChannel(std::move(channel), kPortNetwork);
    StartThreads();
    return {};
}

}  // namespace quillon
