// The built-in virtual drives of TROZFLASH_DRIVES=virtual and virtual-aspi, in this order:
//   0  "TROZ    KVW-A100A       1.00", model code 'A','1': takes the direct procedure.
//   1  "TROZ    KVW-B200A       2.00", model code 'W','0' (named in the product-name list):
//      buffered only; its first buffered trigger (0xF0 + count) is refused with 5/1A/00 and
//      the resend (0xE0 + count) taken, answered NOT READY while it programs.
//   2  "ACME    CDRW-5200       3.10", model code 'C','5': a foreign drive without any
//      download, which the update checks refuse.
// Pass-through candidates 0, 1, 2; ASPI host adapter 0 targets 0 and 1, host adapter 1
// target 0, all LUN 0. What a drive became by a flash is kept in the state file.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "drive/clock.h"
#include "drive/drive_platform.h"
#include "virtual/aspi_manager.h"
#include "virtual/drive_config.h"
#include "virtual/drive_state_file.h"
#include "virtual/virtual_drive.h"
#include "virtual/virtual_platform.h"

namespace troz {

struct BuiltinDriveDescription {
    const char* key;  // its name in the state file
    DriveIdentity identity;
    Personality personality;
    int candidate;
    AspiAddress address;
};

constexpr std::size_t kBuiltinDriveCount = 3;
constexpr std::uint8_t kBuiltinHostAdapterCount = 2;

std::array<BuiltinDriveDescription, kBuiltinDriveCount> BuiltinDriveDescriptions();

// Where the set reports a state file that cannot be read or saved: one line each time.
using StateFileReport = std::function<void(const std::string&)>;

// The three drives, restored from the state file when one is given. The state file is their
// flash memory: a drive's entry is saved when a trigger starts its programming, and a save
// that fails is a programming that fails (without a state file every one does).
class BuiltinDriveSet {
public:
    BuiltinDriveSet(Clock& clock, std::optional<std::filesystem::path> stateFile,
                    StateFileReport report = {});
    // The drives call back into the set: it stays where it was made.
    BuiltinDriveSet(const BuiltinDriveSet&) = delete;
    BuiltinDriveSet& operator=(const BuiltinDriveSet&) = delete;

    VirtualDrive& Drive(std::size_t index) { return *drives_.at(index); }
    void AttachTo(VirtualDrivePlatform& platform);

private:
    // The drive's flash memory: its entry in the state file. False, reported, when it cannot
    // be written.
    bool SaveState(std::size_t index, const DriveIdentity& identity);
    std::string NoStateFolderNote() const;

    std::array<std::unique_ptr<VirtualDrive>, kBuiltinDriveCount> drives_;
    std::optional<std::filesystem::path> stateFile_;
    StateFileReport report_;
};

// A platform that owns the built-in set and places it on the chosen transport.
std::unique_ptr<DrivePlatform> MakeBuiltinDrivePlatform(
    VirtualTransport transport, Clock& clock, std::optional<std::filesystem::path> stateFile,
    StateFileReport report = {});

}  // namespace troz
