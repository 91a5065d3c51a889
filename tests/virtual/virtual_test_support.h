// What the tests of the virtual drives share: recording system services, firmware images
// that carry a model record, and a rig of one drive behind the real TAtapi on either of the
// virtual transports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drive/atapi.h"
#include "drive/system_services.h"
#include "virtual/drive_config.h"
#include "virtual/virtual_clock.h"
#include "virtual/virtual_drive.h"
#include "virtual/virtual_platform.h"

namespace troz::testing {

class RecordingServices final : public SystemServices {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool RequestRestart(std::string& error) override {
        error = "not in tests";
        return false;
    }

    std::vector<std::string> messages;
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

// One drive at pass-through candidate 0 and ASPI host adapter 0, target 0, LUN 0, and the
// drive context over it (made by Start, so a test can tune the drive or platform first).
struct DriveRig {
    explicit DriveRig(const VirtualDriveConfig& config,
                      VirtualTransport transport = VirtualTransport::PassThrough);
    ~DriveRig();

    TAtapi& Start();
    SenseBytes Sense() const { return atapi->LastOutcome().sense; }

    // The direct procedure's download: every block by vendor download, function 5.
    bool DownloadBlocks(const std::vector<Block>& blocks);
    // The buffered procedure's download: each transfer image in WRITE BUFFER pieces.
    bool WriteBufferBlocks(const std::vector<Block>& blocks, std::size_t pieceSize = 16384);
    std::uint8_t Trigger(std::uint8_t functionCode, std::uint8_t blockByte, std::uint16_t checksum);
    // Polls TEST UNIT READY until it succeeds; the number of polls, or -1 after limit.
    int PollUntilReady(int limit);

    VirtualClock clock;
    RecordingServices services;
    VirtualDrive drive;
    VirtualDrivePlatform platform;
    std::unique_ptr<TAtapi> atapi;
};

}  // namespace troz::testing
