#pragma once
// What Linux tells about a device that would not open: who may use the node, and which
// program holds it.

#include <string>

#include "transport/OpenOutcome.h"

namespace quillon {

// Owner, group and mode of the node (symbolic links followed), and whether this user is in
// its group and whether this process already has that group.
NodeAccess ReadNodeAccess(const std::string& path);

// A program named in a UUCP lock file of the device ("LCK..ttyUSB0", in LockDirs()) that is
// still alive; pid 0 when there is none, or only a stale one.
DeviceHolder LockFileHolder(const std::string& path);

// The program that holds the device: the one a live lock file names, else the first process
// with the device open among those whose descriptors this user may see (this process last).
// pid 0 when none is found.
DeviceHolder FindDeviceHolder(const std::string& path);

// Adds to a failed open of outcome.device what the system tells of its errno: the node's
// access for EACCES and EPERM, the holder for EBUSY and for a claim that failed.
void ExplainDeviceFailure(OpenOutcome& outcome);

}  // namespace quillon
