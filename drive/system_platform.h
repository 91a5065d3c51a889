// The running system's own drives: SG_IO on Linux, the pass-through call or WNASPI32.DLL on
// Windows (the family decides which, as GetVersionExA reports it).
#pragma once

#include <memory>
#include <string>

#include "drive/drive_platform.h"
#include "drive/system_services.h"

namespace troz {

std::unique_ptr<DrivePlatform> MakeSystemDrivePlatform(SystemServices& services);

// The system's mapping of a node the user names to the location its drive is listed under:
// symbolic links followed, and on Linux /dev/sgM to its /dev/srN (from sysfs; no command is
// sent). Empty when nothing is at node.
std::string SystemListedNodeOf(const std::string& node);

}  // namespace troz
