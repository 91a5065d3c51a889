#include "virtual/drive_source.h"

#include <cstring>

#include "drive/system_platform.h"
#include "os/user_files.h"
#include "virtual/builtin_drives.h"
#include "virtual/drive_state_file.h"

namespace troz {

namespace {

constexpr const char* kVirtualSelection = "virtual";
constexpr const char* kVirtualAspiSelection = "virtual-aspi";
constexpr const char* kNoStateFolder =
    "The virtual drives have no state folder (neither XDG_STATE_HOME nor HOME is an absolute "
    "path): they start in their factory state and cannot be flashed";

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
    const bool passThrough = std::strcmp(selection, kVirtualSelection) == 0;
    if (passThrough || std::strcmp(selection, kVirtualAspiSelection) == 0) {
        const auto stateFile = DriveStateFilePath();
        // Nothing they are flashed with could be kept, nor could their writer be locked.
        if (!stateFile) {
            report(kNoStateFolder);
        }
        return MakeBuiltinDrivePlatform(
            passThrough ? VirtualTransport::PassThrough : VirtualTransport::Aspi, clock, stateFile,
            report);
    }
    error = std::string(kDriveSourceVariable) + "=" + PrintableName(selection) +
            " is not known; use virtual or virtual-aspi, or leave it unset for the system's drives";
    return nullptr;
}

std::string ListedNodeOf(const char* selection, const std::string& node) {
    // The virtual drives are listed under names no file has.
    const bool systemDrives = selection == nullptr || *selection == '\0';
    return systemDrives ? SystemListedNodeOf(node) : std::string();
}

}  // namespace troz
