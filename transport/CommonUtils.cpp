#include "transport/CommonUtils.h"

#include <fcntl.h>
#include <unistd.h>

#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "transport/Conversions.h"
#include "transport/PortChannel.h"
#include "transport/TransportState.h"
#include "transport/WorkerThreads.h"
#include "transport/platform/DeviceCause.h"
#include "transport/platform/DeviceRoots.h"

namespace quillon {

CommonUtils::CommonUtils() : state_(std::make_shared<TransportState>()) {}

CommonUtils::~CommonUtils() {
    Close();
}

namespace {

// A device node that would not open, with what Linux tells of why.
OpenOutcome NodeFailure(const std::string& node, int error) {
    OpenOutcome outcome = OpenFailure(OpenStep::kDevice, error, node);
    ExplainDeviceFailure(outcome);
    return outcome;
}

}  // namespace

OpenOutcome CommonUtils::OpenUsb(WindowRef owner, const char* devicePath) {
    owner_ = std::move(owner);
    const std::string path = devicePath ? devicePath : "";
    readBack_ = (path.find(usbVendorId_) != std::string::npos &&
                 path.find(usbProductId_) != std::string::npos)
                    ? 0
                    : 1;
    // The interface path is the device node followed by '#' and the device's identity.
    const std::string node = DevicePath(path.substr(0, path.find('#')));
    // usblp lets one process open a printer once, so reading and writing share one open.
    const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return NodeFailure(node, errno);
    auto channel = std::make_shared<PortChannel>(kPortUsb, owner_);
    channel->writeFd = fd;
    // On failure the channel, going out of scope, closes the descriptors it holds.
    if (!channel->EventsReady())
        return OpenFailure(OpenStep::kResources, EMFILE, node);
    if (readBack_) {
        channel->usbReadFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (channel->usbReadFd < 0)
            return OpenFailure(OpenStep::kResources, errno, node);
    }
    AdoptChannel(std::move(channel), kPortUsb);
    StartThreads();
    return {};
}

OpenOutcome CommonUtils::OpenParallel(WindowRef owner, const char* portName) {
    owner_ = std::move(owner);
    // LPT<n> is the n-th parallel port, /dev/lp<n-1>.
    const std::string_view name = portName ? portName : "";
    if (name.size() < 3 || strncasecmp(name.data(), "LPT", 3) != 0)
        return OpenFailure(OpenStep::kSettings, EINVAL);
    int number = 0;
    // "LPT4294967297" is no port, not LPT1 by wrapping round.
    if (!ReadLeadingInt(name.substr(3), &number) || number < 1)
        return OpenFailure(OpenStep::kSettings, EINVAL);
    const std::string node = DevicePath("lp" + std::to_string(number - 1));
    const int fd = open(node.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return NodeFailure(node, errno);
    auto channel = std::make_shared<PortChannel>(kPortParallel, owner_);
    channel->writeFd = fd;
    if (!channel->EventsReady())
        return OpenFailure(OpenStep::kResources, EMFILE, node);
    AdoptChannel(std::move(channel), kPortParallel);
    StartThreads();
    return {};
}

void CommonUtils::ReleaseChannel() {
    if (!channel_)
        return;
    channel_->stop.Signal();
    channel_->Revoke();
    channel_->DropPending();
    channel_.reset();
}

void CommonUtils::HoldChannel(std::shared_ptr<PortChannel> channel) {
    // An open over an open port replaces it. The old port can no longer be reached, so its
    // workers are told to end and its device is let go rather than left to leak; until the
    // new port is ready the kind says none.
    if (channel_) {
        ReleaseChannel();
        state_->portKind = kPortNone;
    }
    channel_ = std::move(channel);
}

void CommonUtils::AdoptChannel(std::shared_ptr<PortChannel> channel, PortKind kind) {
    HoldChannel(std::move(channel));
    state_->portKind = kind;
}

void CommonUtils::StartThreads() {
    const SharedChannel channel = channel_;
    const SharedState state = state_;
    if (!channel)
        return;
    if (channel->kind == kPortSerial) {
        StartSerialThread();
        return;
    }
    LaunchWorker(state->writeRunId,
                 [state, channel](std::uint32_t id) { WriteThread(state, channel, id); });
    const bool reads = channel->kind == kPortNetwork || (channel->kind == kPortUsb && readBack_);
    if (reads) {
        LaunchWorker(state->readRunId,
                     [state, channel](std::uint32_t id) { ReadThread(state, channel, id); });
    }
}

std::uint64_t CommonUtils::Send(const void* data, int length) {
    if (!channel_)
        return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    PendingBlock block;
    block.bytes.assign(bytes, bytes + (length > 0 && bytes ? length : 0));
    block.quiet = state_->quietSend != 0;
    block.id = ++lastBlock_;
    channel_->Push(std::move(block));
    channel_->writeRequest.Signal();
    return lastBlock_;
}

std::uint64_t CommonUtils::SendFile(std::shared_ptr<const SharedFile> file, std::int64_t offset,
                                    std::size_t length) {
    if (!channel_)
        return 0;
    PendingBlock block;
    block.quiet = state_->quietSend != 0;
    block.range = {std::move(file), offset, length};
    block.id = ++lastBlock_;
    channel_->Push(std::move(block));
    channel_->writeRequest.Signal();
    return lastBlock_;
}

void CommonUtils::SendDirect(const void* data, int length) {
    if (!channel_ || !data || length <= 0)
        return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::vector<std::uint8_t> block(bytes, bytes + length);
    // At once on this thread; a peer that takes nothing for a while ends the write.
    const IoOutcome outcome = WritePieces(
        *state_, *channel_,
        channel_->kind == kPortSerial ? &PortChannel::serialFd : &PortChannel::writeFd,
        [] { return true; }, block, kDirectWriteStallMs);
    state_->bytesWritten = static_cast<std::uint32_t>(outcome.count);
}

void CommonUtils::Close() {
    // Clearing the run ids first means no worker of this open starts another pass.
    state_->commRunId = 0;
    state_->readRunId = 0;
    state_->writeRunId = 0;
    ReleaseChannel();
    state_->quietSend = 0;
    state_->portKind = kPortNone;
    readBack_ = 1;
}

int CommonUtils::GetSocket() const {
    if (!channel_)
        return -1;
    std::lock_guard lock(channel_->ioLock);
    return channel_->socketFd;
}

int CommonUtils::GetSerialHandle() const {
    if (!channel_)
        return -1;
    std::lock_guard lock(channel_->ioLock);
    return channel_->serialFd;
}

int CommonUtils::portKind() const {
    return state_->portKind;
}
int CommonUtils::quietSend() const {
    return state_->quietSend;
}
void CommonUtils::setQuietSend(int quiet) {
    state_->quietSend = quiet ? 1 : 0;
}
std::uint32_t CommonUtils::bytesWritten() const {
    return state_->bytesWritten;
}
std::uint32_t CommonUtils::bytesRead() const {
    return state_->bytesRead;
}
std::uint32_t CommonUtils::writeRunId() const {
    return state_->writeRunId;
}
std::uint32_t CommonUtils::readRunId() const {
    return state_->readRunId;
}
std::uint32_t CommonUtils::commRunId() const {
    return state_->commRunId;
}

}  // namespace quillon
