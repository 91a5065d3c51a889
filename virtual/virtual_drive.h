// The virtual drive: a device model of a flashable optical drive. It answers the commands
// the tool sends as a real drive does (status, fixed-format sense, REQUEST SENSE), takes
// firmware by vendor download or WRITE BUFFER, programs itself on the trigger while time
// passes on the injected clock, and comes back reporting the identification of the image
// it programmed. Faults can be injected per command, at the transport, or by cutting power.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "drive/clock.h"
#include "drive/scsi.h"
#include "drive/scsi_commands.h"
#include "drive/virtual/scsi_device.h"
#include "virtual/drive_config.h"
#include "virtual/firmware_staging.h"

namespace troz {

// The revision INQUIRY reports while the drive runs its boot loader.
constexpr const char* kBootLoaderRevision = "BOOT";

enum class DriveState {
    Ready,        // runs its firmware
    Programming,  // writes a new image into its flash memory
    BootLoader,   // power was lost while programming: no firmware to run
};

// One command as the drive received it, with its answer.
struct ReceivedCommand {
    std::array<std::uint8_t, kCdbLength> cdb{};
    std::uint8_t direction = kDirectionNone;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> dataOut;  // the bytes of a data-out command
    std::uint16_t dataOutSum = 0;       // their 16-bit byte sum
    std::uint32_t tick = 0;             // the clock's tick count when it arrived
    DeviceReply reply;

    std::uint8_t Opcode() const { return cdb[0]; }
};

// A command that fails instead of running: the occurrence-th command (counted from when
// the fault was injected; only those with the opcode, when one is given) and the times - 1
// matching commands after it (times 0: every one from then on). It fails with the SCSI
// status and sense, or below SCSI with transportFault. A Gone fault takes the drive away.
struct CommandFault {
    std::optional<std::uint8_t> opcode;
    std::uint32_t occurrence = 1;
    std::uint32_t times = 1;
    std::uint8_t scsiStatus = kScsiStatusCheckCondition;
    Sense sense = kSenseNone;
    TransportFault transportFault = TransportFault::None;

    static CommandFault CheckCondition(const Sense& sense) {
        return {std::nullopt, 1, 1, kScsiStatusCheckCondition, sense, TransportFault::None};
    }
    static CommandFault Transport(TransportFault fault) {
        return {std::nullopt, 1, 1, kScsiStatusGood, kSenseNone, fault};
    }
    CommandFault& OnOpcode(std::uint8_t value) {
        opcode = value;
        return *this;
    }
    CommandFault& AtOccurrence(std::uint32_t value) {
        occurrence = value;
        return *this;
    }
    CommandFault& Times(std::uint32_t value) {
        times = value;
        return *this;
    }
};

// Fixed-format sense data (response code 0x70) for a sense key, ASC and ASCQ.
std::array<std::uint8_t, kFixedSenseLength> MakeFixedSense(const Sense& sense);

class VirtualDrive final : public ScsiDevice {
public:
    VirtualDrive(Clock& clock, VirtualDriveConfig config);

    DeviceReply Execute(const std::uint8_t* cdb, std::uint8_t direction, std::uint8_t* buffer,
                        std::uint32_t length) override;
    bool Present() const override { return present_; }

    // What the drive is now. State() first lets programming time that has passed take effect.
    DriveState State();
    const DriveIdentity& Identity() const { return identity_; }
    void SetIdentity(const DriveIdentity& identity) { identity_ = identity; }
    VirtualDriveConfig& Config() { return config_; }
    const FirmwareStaging& Staging() const { return staging_; }
    // The image of the last programming that completed, and how many completed.
    const std::vector<std::uint8_t>& ProgrammedImage() const { return programmedImage_; }
    int ProgramCount() const { return programCount_; }
    // The drive's flash memory, where what it is programmed with stays: written with the
    // identity of the new image when the trigger starts programming. When it cannot be
    // written (false) the drive keeps its old firmware and refuses the trigger with
    // HARDWARE ERROR, INTERNAL TARGET FAILURE.
    void SetFlashMemory(std::function<bool(const DriveIdentity&)> write) {
        flashMemory_ = std::move(write);
    }

    // Every command received, in order (while recording, which is on from the start).
    const std::vector<ReceivedCommand>& Commands() const { return commands_; }
    std::vector<ReceivedCommand> CommandsWithOpcode(std::uint8_t opcode) const;
    void ClearCommands() { commands_.clear(); }
    void SetRecording(bool recording) { recording_ = recording; }

    // Faults.
    void InjectFault(const CommandFault& fault);
    void ClearFaults() { faults_.clear(); }
    // Power fails once the drive has been programming for this long; it restarts in its
    // boot loader.
    void LosePowerWhileProgramming(std::uint32_t afterMs) { powerLossAfterMs_ = afterMs; }
    // Power fails now: while programming the drive ends up in its boot loader, otherwise it
    // restarts (download memory lost, UNIT ATTENTION pending).
    void CutPower();

private:
    struct ActiveFault {
        CommandFault fault;
        std::uint32_t seen = 0;
        std::uint32_t failed = 0;
    };

    std::optional<DeviceReply> InjectedReply(std::uint8_t opcode);
    void UpdateProgramming();
    bool StartProgramming(std::vector<std::uint8_t> image);
    void FinishProgramming();
    void EnterBootLoader();
    DeviceReply Fail(const Sense& sense);

    // The answers, command by command (drive_commands.cpp).
    DeviceReply Answer(const std::uint8_t* cdb, std::uint8_t direction, std::uint8_t* buffer,
                       std::uint32_t length);
    DeviceReply TestUnitReady();
    DeviceReply Inquiry(const std::uint8_t* cdb, std::uint8_t* buffer, std::uint32_t length);
    DeviceReply RequestSense(const std::uint8_t* cdb, std::uint8_t* buffer, std::uint32_t length);
    DeviceReply StopCommand();
    DeviceReply WriteBuffer(const std::uint8_t* cdb, const std::uint8_t* data,
                            std::uint32_t length);
    DeviceReply Vendor(const std::uint8_t* cdb, std::uint8_t* buffer, std::uint32_t dataIn,
                       const std::uint8_t* dataOut, std::uint32_t dataOutLength);
    DeviceReply Download(const std::uint8_t* cdb, const std::uint8_t* data, std::uint32_t length);
    DeviceReply Trigger(std::uint8_t functionCode, std::uint8_t blockByte, std::uint16_t checksum);
    DeviceReply Query(std::uint8_t* buffer, std::uint32_t length);
    Sense CurrentCondition();
    // The commands the kernel sends a new CD/DVD drive (media_commands.cpp); none when the
    // opcode is not one of them.
    std::optional<DeviceReply> MediaCommand(const std::uint8_t* cdb, std::uint8_t* buffer,
                                            std::uint32_t length);
    DeviceReply ModeSenseCapabilities(const std::uint8_t* cdb, std::uint8_t* buffer,
                                      std::uint32_t length);

    Clock& clock_;
    VirtualDriveConfig config_;
    DriveIdentity identity_;
    DriveState state_ = DriveState::Ready;
    bool present_ = true;
    bool unitAttention_ = false;
    std::optional<Sense> pendingSense_;

    FirmwareStaging staging_;
    std::vector<std::uint8_t> programmingImage_;
    std::uint32_t programmingStart_ = 0;
    std::vector<std::uint8_t> programmedImage_;
    int programCount_ = 0;
    std::function<bool(const DriveIdentity&)> flashMemory_;

    std::vector<ActiveFault> faults_;
    std::optional<std::uint32_t> powerLossAfterMs_;

    std::vector<ReceivedCommand> commands_;
    bool recording_ = true;
};

}  // namespace troz
