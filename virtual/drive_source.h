// Where drives come from, chosen at run time by TROZFLASH_DRIVES:
//   unset or empty  the system's drives
//   "virtual"       the built-in virtual drives on the pass-through transport
//   "virtual-aspi"  the same drives behind the virtual ASPI manager (consumer family)
#pragma once

#include <memory>
#include <string>

#include "drive/clock.h"
#include "drive/drive_platform.h"
#include "drive/system_services.h"

namespace troz {

constexpr const char* kDriveSourceVariable = "TROZFLASH_DRIVES";

// selection is the variable's value (null when unset). On an unknown value returns null
// and sets error to one line naming the value and the accepted ones. The virtual drives
// take their time from clock.
std::unique_ptr<DrivePlatform> MakeDrivePlatform(const char* selection, Clock& clock,
                                                 SystemServices& services, std::string& error);

// DrivePlatform::ListedNodeOf of the platform selection chooses, without making it (no
// drive is looked at).
std::string ListedNodeOf(const char* selection, const std::string& node);

}  // namespace troz
