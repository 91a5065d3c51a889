#include "virtual/builtin_drives.h"

#include <utility>

namespace troz {

namespace {

class BuiltinDrivePlatform final : public DrivePlatform {
public:
    BuiltinDrivePlatform(VirtualTransport transport, Clock& clock,
                         std::optional<std::filesystem::path> stateFile, StateFileReport report)
        : lockFolder_(stateFile ? std::optional(DriveLockFolder(*stateFile)) : std::nullopt),
          drives_(clock, std::move(stateFile), std::move(report)),
          platform_(transport, clock, kBuiltinHostAdapterCount) {
        drives_.AttachTo(platform_);
    }

    std::uint32_t VersionPlatformId() override { return platform_.VersionPlatformId(); }
    PassThroughBackend& PassThrough() override { return platform_.PassThrough(); }
    AspiPlatform& Aspi() override { return platform_.Aspi(); }
    void PumpOneMessage() override { platform_.PumpOneMessage(); }
    // A lock file per drive beside the state folder: the copies that share the drives' state
    // share their locks too.
    DriveLockResult LockDrive(const std::string& location, DeviceHandle) override {
        if (!lockFolder_) {
            return DriveLockResult::Refused(
                DriveLockOutcome::Unavailable,
                "the virtual drives have no folder for their locks (neither XDG_STATE_HOME nor "
                "HOME names one)");
        }
        for (const BuiltinDriveDescription& drive : BuiltinDriveDescriptions()) {
            if (location == platform_.PassThrough().DevicePath(drive.candidate) ||
                location == AspiLocation(drive.address)) {
                return LockDriveFile(*lockFolder_ / (std::string(drive.key) + kLockFileSuffix));
            }
        }
        return DriveLockResult::Refused(DriveLockOutcome::Unavailable,
                                        "no virtual drive lives at " + location);
    }

private:
    static std::string AspiLocation(const AspiAddress& address) {
        return "ha " + std::to_string(address.hostAdapter) + " target " +
               std::to_string(address.target) + " lun " + std::to_string(address.lun);
    }

    static constexpr const char* kLockFileSuffix = ".lock";
    std::optional<std::filesystem::path> lockFolder_;
    BuiltinDriveSet drives_;
    VirtualDrivePlatform platform_;
};

}  // namespace

std::array<BuiltinDriveDescription, kBuiltinDriveCount> BuiltinDriveDescriptions() {
    return {{
        {"kvw-a100a", {"TROZ", "KVW-A100A", "1.00", {'A', '1'}}, Personality::Direct, 0, {0, 0, 0}},
        {"kvw-b200a",
         {"TROZ", "KVW-B200A", "2.00", {'W', '0'}},
         Personality::BufferedResend,
         1,
         {0, 1, 0}},
        {"acme-cdrw-5200",
         {"ACME", "CDRW-5200", "3.10", {'C', '5'}},
         Personality::NoDownload,
         2,
         {1, 0, 0}},
    }};
}

std::string BuiltinDriveSet::NoStateFolderNote() const {
    if (stateFile_) {
        return {};
    }
    return "The virtual drives have no state folder (neither XDG_STATE_HOME nor HOME is an "
           "absolute path): they start in their factory state and cannot be flashed";
}

BuiltinDriveSet::BuiltinDriveSet(Clock& clock, std::optional<std::filesystem::path> stateFile,
                                 StateFileReport report)
    : stateFile_(std::move(stateFile)), report_(std::move(report)) {
    DriveStates saved;
    std::string warning = NoStateFolderNote();
    if (stateFile_) {
        saved = ReadDriveStates(*stateFile_, warning);
    }
    if (!warning.empty() && report_) {
        report_(warning);
    }
    const auto descriptions = BuiltinDriveDescriptions();
    for (std::size_t i = 0; i < kBuiltinDriveCount; ++i) {
        auto drive = std::make_unique<VirtualDrive>(
            clock, ConfigFor(descriptions[i].personality, descriptions[i].identity));
        // A drive that lives for the whole process keeps no history of its commands.
        drive->SetRecording(false);
        if (const auto state = saved.find(descriptions[i].key); state != saved.end()) {
            drive->SetIdentity(state->second);
        }
        drive->SetFlashMemory(
            [this, i](const DriveIdentity& programmed) { return SaveState(i, programmed); });
        drives_[i] = std::move(drive);
    }
}

void BuiltinDriveSet::AttachTo(VirtualDrivePlatform& platform) {
    const auto descriptions = BuiltinDriveDescriptions();
    for (std::size_t i = 0; i < kBuiltinDriveCount; ++i) {
        platform.Attach(drives_[i].get(), descriptions[i].candidate, descriptions[i].address);
    }
}

bool BuiltinDriveSet::SaveState(std::size_t index, const DriveIdentity& identity) {
    std::string error = NoStateFolderNote();
    // Only this drive's entry: another process may have flashed another drive meanwhile.
    const BuiltinDriveDescription description = BuiltinDriveDescriptions()[index];
    std::optional<DriveIdentity> changed;
    if (!(identity == description.identity)) {
        changed = identity;
    }
    if (stateFile_ && SaveDriveState(*stateFile_, description.key, changed, error)) {
        return true;
    }
    if (report_) {
        report_(error);
    }
    return false;
}

std::unique_ptr<DrivePlatform> MakeBuiltinDrivePlatform(
    VirtualTransport transport, Clock& clock, std::optional<std::filesystem::path> stateFile,
    StateFileReport report) {
    return std::make_unique<BuiltinDrivePlatform>(transport, clock, std::move(stateFile),
                                                  std::move(report));
}

}  // namespace troz
