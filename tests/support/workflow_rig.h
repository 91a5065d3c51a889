// The Open and Start buttons over virtual drives: a window that records when the controls
// were enabled, one or more drives behind the real TAtapi, packages on disk, and the update
// workflow over them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drive/atapi.h"
#include "tests/support/package_files.h"
#include "tests/support/recording_window.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/virtual_rig.h"
#include "update/package_writer.h"
#include "update/update_workflow.h"
#include "virtual/drive_config.h"
#include "virtual/virtual_drive.h"
#include "virtual/virtual_platform.h"

namespace troz::test {

// Drive list, Start and Exit, as enabled at one moment.
struct Enabling {
    bool driveList = true;
    bool start = true;
    bool exit = true;

    friend bool operator==(const Enabling&, const Enabling&) = default;
};
void PrintTo(const Enabling& enabling, std::ostream* out);

constexpr Enabling kAllEnabled{true, true, true};
constexpr Enabling kDriveListDisabled{false, true, true};
constexpr Enabling kAllDisabled{false, false, false};

// Keeps every enabling state the controls went through, and the state at each restart
// question; a test can act on the window's behalf while the flash dispatches events.
class SequenceWindow final : public RecordingWindow {
public:
    void SetDriveListEnabled(bool enabled) override;
    void SetStartEnabled(bool enabled) override;
    void SetExitEnabled(bool enabled) override;
    void DispatchPendingEvents() override;
    bool AskRestart() override;

    Enabling Now() const { return {driveListEnabled, startEnabled, exitEnabled}; }

    std::vector<Enabling> enablings;
    std::vector<Enabling> atRestartQuestion;
    std::function<void()> onDispatch;
};

// A drive as the host reaches it: every command is passed on, and the window's enabling
// state at the moment the command went out is kept beside it.
class WatchedDrive final : public ScsiDevice {
public:
    WatchedDrive(VirtualDrive& drive, const SequenceWindow& window)
        : drive_(drive), window_(window) {}

    DeviceReply Execute(const std::uint8_t* cdb, std::uint8_t direction, std::uint8_t* buffer,
                        std::uint32_t length) override;
    bool Present() const override { return drive_.Present(); }

    // Opcode and enabling state of each command since the last Forget.
    std::vector<std::uint8_t> opcodes;
    std::vector<Enabling> enablings;
    void Forget();

private:
    VirtualDrive& drive_;
    const SequenceWindow& window_;
};

// Vendor "TROZ", revision "1.10", the given product and model code.
ModelRecordFields TrozFields(const std::string& product, std::array<std::uint8_t, 2> modelCode);
DriveIdentity Identity(const std::string& vendor, const std::string& product,
                       std::array<std::uint8_t, 2> modelCode);

// An image of two blocks that together hold exactly the 65535 bytes the Open step reads,
// with a model record at recordOffset (none when fields is empty).
constexpr std::uint32_t kRecordOffset = 100;
const std::vector<std::uint16_t>& ScanSizedBlocks();
std::vector<std::uint8_t> FillerImage(std::uint32_t seed);
std::vector<std::uint8_t> RecordImage(const ModelRecordFields& fields,
                                      std::uint32_t recordOffset = kRecordOffset);
PackageImage Blocks(const std::vector<std::uint8_t>& image);
std::vector<std::uint8_t> SinglePackage(const std::vector<std::uint8_t>& image,
                                        bool scrambled = false);
std::vector<std::uint8_t> MultiPackage(const std::vector<std::vector<std::uint8_t>>& images);

// The command a firmware download or trigger uses: no such command may reach a drive
// before every check has passed.
bool IsFirmwareCommand(std::uint8_t opcode);

// The services refuse a restart as a system without the privilege does.
class WorkflowRig : public VirtualRig {
public:
    explicit WorkflowRig(const std::vector<VirtualDriveConfig>& configs,
                         VirtualTransport transport = VirtualTransport::PassThrough);
    explicit WorkflowRig(const VirtualDriveConfig& config) : WorkflowRig(std::vector{config}) {}
    ~WorkflowRig() override;

    // Picks a drive in the drive list, as the window's SelDeviceChange does.
    void Select(int index);
    // The open dialog confirms path, then the Open step runs.
    void Open(const std::string& path);
    // Writes bytes to a .tfs file kept by the rig and opens it.
    const std::string& OpenPackage(const std::vector<std::uint8_t>& bytes);
    void Start() { workflow->StartUpdate(); }
    // Forgets what the window and the drives have recorded so far.
    void Forget();

    VirtualDrive& Drive(int index) { return *drives_.at(static_cast<std::size_t>(index)); }
    WatchedDrive& Watched(int index) { return *links_.at(static_cast<std::size_t>(index)); }
    int CountOf(int index, std::uint8_t opcode);
    bool AnyFirmwareCommand(int index);

    SequenceWindow window;
    std::unique_ptr<UpdateWorkflow> workflow;

private:
    std::vector<std::unique_ptr<VirtualDrive>> drives_;
    std::vector<std::unique_ptr<WatchedDrive>> links_;
    std::vector<std::unique_ptr<TempPackageFile>> files_;
};

// A drive configuration with the direct personality and the given identity.
VirtualDriveConfig DirectDrive(const DriveIdentity& identity);

}  // namespace troz::test
