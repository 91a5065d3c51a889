// The running system's own drives: SG_IO on Linux, the pass-through call or WNASPI32.DLL on
// Windows (the family decides which, as GetVersionExA reports it).
#pragma once

#include <memory>

#include "drive/drive_platform.h"
#include "drive/system_services.h"

namespace troz {

std::unique_ptr<DrivePlatform> MakeSystemDrivePlatform(SystemServices& services);

}  // namespace troz
