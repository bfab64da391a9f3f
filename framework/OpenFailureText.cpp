#include "framework/OpenFailureText.h"

#include <cerrno>
#include <cstring>

#include "framework/Format.h"
#include "framework/Texts.h"

namespace quillon {

namespace {

QString Node(const OpenOutcome& outcome) {
    return QString::fromStdString(outcome.device);
}

QString Denied(Language language, const OpenOutcome& outcome) {
    const NodeAccess& access = outcome.access;
    const QString group = QString::fromStdString(access.group);
    if (!access.known)
        return Format(Text(language, "D148.openDenied"), {Node(outcome), ErrorText(outcome.error)});
    // A group of its own that may use the node: joining it is the way in.
    if (access.groupMayUse && access.group != "root" && !access.sessionHasGroup) {
        if (access.userInGroup)
            return Format(Text(language, "D148.openDeniedLogIn"), {Node(outcome), group});
        return Format(Text(language, "D148.openDeniedGroup"), {Node(outcome), group, group});
    }
    const QString mode = QStringLiteral("%1").arg(access.mode, 4, 8, QLatin1Char('0'));
    return Format(Text(language, "D148.openDeniedMode"),
                  {Node(outcome), QString::fromStdString(access.owner), group, mode});
}

QString Held(Language language, const OpenOutcome& outcome) {
    const DeviceHolder& holder = outcome.holder;
    if (holder.pid != 0 && holder.thisProcess)
        return Format(Text(language, "D148.openHeldHere"), {Node(outcome)});
    if (holder.pid != 0) {
        const QString program =
            holder.program.empty() ? QStringLiteral("?") : QString::fromStdString(holder.program);
        return Format(Text(language, "D148.openHeldBy"), {Node(outcome), program, holder.pid});
    }
    return Format(Text(language, "D148.openHeld"), {Node(outcome)});
}

QString DeviceCause(Language language, const OpenOutcome& outcome) {
    switch (outcome.error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return Format(Text(language, "D148.openGone"), {Node(outcome)});
        case EACCES:
        case EPERM:
            return Denied(language, outcome);
        case EBUSY:
            return Held(language, outcome);
        default:
            return Format(Text(language, "D148.openError"),
                          {Node(outcome), ErrorText(outcome.error)});
    }
}

QString WebPageCause(Language language, const OpenOutcome& outcome) {
    if (outcome.httpStatus != 0)
        return Format(Text(language, "D148.openWebStatus"), {Node(outcome), outcome.httpStatus});
    switch (outcome.error) {
        case ETIMEDOUT:
            return Format(Text(language, "D148.openWebTimeOut"), {Node(outcome)});
        case ECONNREFUSED:
            return Format(Text(language, "D148.openWebRefused"), {Node(outcome)});
        case EPROTO:
            return Format(Text(language, "D148.openWebNoPage"), {Node(outcome)});
        default:
            return Format(Text(language, "D148.openWebError"),
                          {Node(outcome), ErrorText(outcome.error)});
    }
}

QString ConnectCause(Language language, const OpenOutcome& outcome) {
    switch (outcome.error) {
        case ETIMEDOUT:
            return Format(Text(language, "D148.openConnectTimeOut"),
                          {Node(outcome), outcome.tcpPort});
        case ECONNREFUSED:
            return Format(Text(language, "D148.openConnectRefused"),
                          {Node(outcome), outcome.tcpPort});
        default:
            return Format(Text(language, "D148.openConnectError"),
                          {Node(outcome), outcome.tcpPort, ErrorText(outcome.error)});
    }
}

}  // namespace

QString ErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r, safe on the cycle pages' workers too.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

QString OpenFailureCause(Language language, const OpenOutcome& outcome) {
    switch (outcome.step) {
        case OpenStep::kNone:
            return {};
        case OpenStep::kSettings:
            return Text(language, "D148.openSettings");
        case OpenStep::kDevice:
            return DeviceCause(language, outcome);
        case OpenStep::kTerminal:
            return Format(Text(language, "D148.openNoTerminal"), {Node(outcome)});
        case OpenStep::kClaim:
            return Held(language, outcome);
        case OpenStep::kConfigure:
            return Format(Text(language, "D148.openConfigure"), {Node(outcome)});
        case OpenStep::kResources:
            return Format(Text(language, "D148.openError"),
                          {Node(outcome), ErrorText(outcome.error)});
        case OpenStep::kWebPage:
            return WebPageCause(language, outcome);
        case OpenStep::kConnect:
            return ConnectCause(language, outcome);
    }
    return {};
}

}  // namespace quillon
