#pragma once
// What became of an open, in the same spirit as IoOutcome for writes: the step that failed,
// the errno of its call, and what the system tells about the cause (who may use the device,
// which program holds it, what the printer's web page answered). Plain data, so that the
// window and a command-line tool can each word it in their own language.

#include <string>

namespace quillon {

enum class OpenStep {
    kNone,       // nothing failed: the port is open
    kSettings,   // the port's name or parameters name no port or no line setting
    kDevice,     // the device node could not be opened
    kTerminal,   // the node is there but is no terminal, so it takes no line settings
    kClaim,      // another open holds the device (flock, TIOCEXCL or a UUCP lock file)
    kConfigure,  // the line refused the settings
    kResources,  // the process has no descriptors left for the port's events
    kWebPage,    // the printer's web page (port 80) did not answer with status 200
    kConnect,    // the printer's raw port could not be connected
};

// Who may use a device node, read from the node when an open was refused.
struct NodeAccess {
    bool known = false;            // the node could be looked at
    std::string owner;             // the owning user's name, or its number
    std::string group;             // the owning group's name, or its number
    unsigned mode = 0;             // permission bits, 0644 and so on
    bool groupMayUse = false;      // the group may read and write the node
    bool userInGroup = false;      // the group database lists this user in the group
    bool sessionHasGroup = false;  // this process already holds the group
};

// The program that holds a device, from a UUCP lock file or from the descriptors in /proc.
struct DeviceHolder {
    int pid = 0;          // 0 when Linux did not tell
    std::string program;  // its command name; empty when unknown
    bool thisProcess = false;
};

struct OpenOutcome {
    OpenStep step = OpenStep::kNone;
    int error = 0;        // errno of the call that failed; 0 when the step has none
    std::string device;   // the device node, or the printer's address
    int tcpPort = 0;      // kConnect: the printer's raw port
    long httpStatus = 0;  // kWebPage: the status its page answered with, 0 when none came
    NodeAccess access;    // error EACCES or EPERM on the node
    DeviceHolder holder;  // step kClaim, or error EBUSY

    bool failed() const { return step != OpenStep::kNone; }
    // True when the port opened.
    explicit operator bool() const { return !failed(); }
};

// A failure at `step` with the errno of its call.
inline OpenOutcome OpenFailure(OpenStep step, int error, std::string device = {}) {
    OpenOutcome outcome;
    outcome.step = step;
    outcome.error = error;
    outcome.device = std::move(device);
    return outcome;
}

}  // namespace quillon
