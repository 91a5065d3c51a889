#include "virtual/drive_source.h"

#include <cstring>

#include "drive/system_platform.h"
#include "drive/user_files.h"
#include "virtual/builtin_drives.h"
#include "virtual/drive_state_file.h"

namespace troz {

namespace {

constexpr const char* kVirtualSelection = "virtual";
constexpr const char* kVirtualAspiSelection = "virtual-aspi";

}  // namespace

std::unique_ptr<DrivePlatform> MakeDrivePlatform(const char* selection, Clock& clock,
                                                 SystemServices& services, std::string& error) {
    if (selection == nullptr || *selection == '\0') {
        return MakeSystemDrivePlatform(services);
    }
    // The user sees a state file that cannot be read or saved as the drives' own messages.
    const StateFileReport report = [&services](const std::string& text) {
        services.ShowMessage(text);
    };
    if (std::strcmp(selection, kVirtualSelection) == 0) {
        return MakeBuiltinDrivePlatform(VirtualTransport::PassThrough, clock, DriveStateFilePath(),
                                        report);
    }
    if (std::strcmp(selection, kVirtualAspiSelection) == 0) {
        return MakeBuiltinDrivePlatform(VirtualTransport::Aspi, clock, DriveStateFilePath(),
                                        report);
    }
    error = std::string(kDriveSourceVariable) + "=" + PrintableName(selection) +
            " is not known; use virtual or virtual-aspi, or leave it unset for the system's drives";
    return nullptr;
}

}  // namespace troz
