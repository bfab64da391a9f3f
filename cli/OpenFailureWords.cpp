#include "cli/OpenFailureWords.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillon::cli {

namespace {

std::string Denied(const OpenOutcome& outcome) {
    const NodeAccess& access = outcome.access;
    const std::string& node = outcome.device;
    if (!access.known)
        return "permission denied: " + node + " (" + ErrnoText(outcome.error) + ")";
    // A group of its own that may use the node: joining it is the way in.
    if (access.groupMayUse && access.group != "root" && !access.sessionHasGroup) {
        if (access.userInGroup)
            return "permission denied: " + node + " belongs to the group " + access.group +
                   "; this user has joined it, but this login started before that: log out "
                   "and in again (or run `newgrp " +
                   access.group + "`)";
        return "permission denied: " + node + " belongs to the group " + access.group +
               ", which this user is not in; join it with `sudo usermod -aG " + access.group +
               " $USER`, then log out and in again";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", access.mode);
    return "permission denied: " + node + " (owner " + access.owner + ", group " + access.group +
           ", mode " + mode + ") may not be opened by this user";
}

std::string Held(const OpenOutcome& outcome) {
    const DeviceHolder& holder = outcome.holder;
    if (holder.pid != 0 && !holder.thisProcess)
        return outcome.device + " is in use by another program: " +
               (holder.program.empty() ? std::string("?") : holder.program) + " (process " +
               std::to_string(holder.pid) + "); close it, then try again";
    return outcome.device + " is in use by another program";
}

std::string DeviceCause(const OpenOutcome& outcome) {
    switch (outcome.error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return outcome.device +
                   " is not there (no such device): the printer or its adapter has been "
                   "unplugged or switched off";
        case EACCES:
        case EPERM:
            return Denied(outcome);
        case EBUSY:
            return Held(outcome);
        default:
            return outcome.device + ": " + ErrnoText(outcome.error);
    }
}

std::string WebPageCause(const OpenOutcome& outcome) {
    const std::string page = "the printer's web page http://" + outcome.device + "/";
    if (outcome.httpStatus != 0)
        return page + " answered with status " + std::to_string(outcome.httpStatus) +
               " instead of 200";
    switch (outcome.error) {
        case ETIMEDOUT:
            return page + " did not answer in time";
        case ECONNREFUSED:
            return "the printer at " + outcome.device +
                   " refused the connection to its web page (port 80)";
        case EPROTO:
            return "what port 80 of " + outcome.device + " sent is no web page";
        default:
            return page + " could not be read: " + ErrnoText(outcome.error);
    }
}

std::string ConnectCause(const OpenOutcome& outcome) {
    const std::string where = outcome.device + " port " + std::to_string(outcome.tcpPort);
    switch (outcome.error) {
        case ETIMEDOUT:
            return "the printer at " + where + " did not accept the connection in time";
        case ECONNREFUSED:
            return "the printer at " + where + " refused the connection";
        default:
            return "the connection to " + where + " failed: " + ErrnoText(outcome.error);
    }
}

}  // namespace

std::string ErrnoText(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

std::string OpenFailureWords(const OpenOutcome& outcome) {
    switch (outcome.step) {
        case OpenStep::kNone:
            return {};
        case OpenStep::kSettings:
            return "the port's name or line settings are not valid";
        case OpenStep::kDevice:
            return DeviceCause(outcome);
        case OpenStep::kTerminal:
            return outcome.device + " is not a serial device";
        case OpenStep::kClaim:
            return Held(outcome);
        case OpenStep::kConfigure:
            return outcome.device + " does not take these line settings";
        case OpenStep::kResources:
            return outcome.device + ": " + ErrnoText(outcome.error);
        case OpenStep::kWebPage:
            return WebPageCause(outcome);
        case OpenStep::kConnect:
            return ConnectCause(outcome);
    }
    return {};
}

}  // namespace quillon::cli
