// Virtual drives behind the real TAtapi on either virtual transport: the base of every rig
// over virtual drives, the rig of the virtual drive tests, and firmware images that carry a
// model record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drive/atapi.h"
#include "tests/support/recording_services.h"
#include "tests/support/virtual_clock.h"
#include "virtual/drive_config.h"
#include "virtual/virtual_drive.h"
#include "virtual/virtual_platform.h"

namespace troz::test {

// The virtual clock, recording services and the virtual platform; device i sits at
// pass-through candidate i and at ASPI host adapter 0, target i, LUN 0. Start makes the drive
// context, so a test or rig can attach devices and tune the platform first.
class VirtualRig {
public:
    explicit VirtualRig(VirtualTransport transport, std::uint32_t startTick = 0)
        : clock(startTick), platform(transport, clock) {}
    // A rig resets the drive context before its devices go.
    virtual ~VirtualRig() = default;
    VirtualRig(const VirtualRig&) = delete;
    VirtualRig& operator=(const VirtualRig&) = delete;

    void Attach(ScsiDevice& device, int index) {
        platform.Attach(&device, index, {0, static_cast<std::uint8_t>(index), 0});
    }
    TAtapi& Start() {
        atapi = std::make_unique<TAtapi>(platform, clock, services);
        return *atapi;
    }

    VirtualClock clock;
    RecordingServices services;
    VirtualDrivePlatform platform;
    std::unique_ptr<TAtapi> atapi;
};

using Block = std::vector<std::uint8_t>;

// Blocks of an image whose block 0 carries the model record of identity (signature at
// image offset 100), filled with a pattern; the sizes are the block sizes.
std::vector<Block> MakeFirmware(const DriveIdentity& identity,
                                const std::vector<std::size_t>& sizes);
std::uint16_t Checksum(const std::vector<Block>& blocks);
std::vector<std::uint8_t> Concatenated(const std::vector<Block>& blocks);

// The firmware of the demo package: "TROZ    KVW-A100A       1.10", model code 'A','1'.
DriveIdentity DemoFirmwareIdentity();

// One drive at index 0.
struct DriveRig : VirtualRig {
    explicit DriveRig(const VirtualDriveConfig& config,
                      VirtualTransport transport = VirtualTransport::PassThrough);
    ~DriveRig() override { atapi.reset(); }

    SenseBytes Sense() const { return atapi->LastOutcome().sense; }

    // The direct procedure's download: every block by vendor download, function 5.
    bool DownloadBlocks(const std::vector<Block>& blocks);
    // The buffered procedure's download: each transfer image in WRITE BUFFER pieces.
    bool WriteBufferBlocks(const std::vector<Block>& blocks, std::size_t pieceSize = 16384);
    std::uint8_t Trigger(std::uint8_t functionCode, std::uint8_t blockByte, std::uint16_t checksum);
    // Polls TEST UNIT READY until it succeeds; the number of polls, or -1 after limit.
    int PollUntilReady(int limit);

    VirtualDrive drive;
};

}  // namespace troz::test
