// One virtual drive behind the real TAtapi, a package on disk that ValidatePackage has just
// read, and the flash driver over them: what every flash test starts from.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "drive/atapi.h"
#include "tests/support/package_files.h"
#include "tests/support/recording_window.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/virtual_rig.h"
#include "update/flash_driver.h"
#include "update/package_format.h"
#include "update/package_state.h"
#include "virtual/drive_config.h"
#include "virtual/virtual_drive.h"
#include "virtual/virtual_platform.h"

namespace troz {

// Readable test parameters in failure messages.
void PrintTo(VirtualTransport transport, std::ostream* out);
void PrintTo(const Sense& sense, std::ostream* out);

}  // namespace troz

namespace troz::test {

// Every command costs the drive this long, and programming takes this long: short enough
// for thousands of polls, and below every pause, so pauses can be told from commands.
constexpr std::uint32_t kRigLatencyMs = 10;
constexpr std::uint32_t kRigProgrammingMs = 200;
constexpr std::uint32_t kShortestPauseMs = 500;

const char* TransportName(VirtualTransport transport);

// The link between host and drive. It passes every command on to the drive; a test can have
// the answers to some commands lost on the way back, after the drive has acted on them.
class DriveLink final : public ScsiDevice {
public:
    explicit DriveLink(VirtualDrive& drive) : drive_(drive) {}

    DeviceReply Execute(const std::uint8_t* cdb, std::uint8_t direction, std::uint8_t* buffer,
                        std::uint32_t length) override;
    bool Present() const override { return drive_.Present(); }

    std::function<bool(const std::uint8_t* cdb)> loseAnswerOf;
    TransportFault lostAs = TransportFault::TimedOut;

private:
    VirtualDrive& drive_;
};

// A command descriptor block as text: "5A 00 38 ...", upper-case hexadecimal.
std::string CdbText(const ReceivedCommand& command);
std::string BytesText(const std::vector<std::uint8_t>& bytes);

// A single-image package of blocks with the given sizes, each filled with its own pattern.
PackageImage PatternImage(const std::vector<std::uint16_t>& sizes);

class FlashRig : public VirtualRig {
public:
    FlashRig(VirtualTransport transport, VirtualDriveConfig config, std::uint32_t startTick = 0);
    ~FlashRig() override { atapi.reset(); }

    // Writes the package, validates it into the header copy (as Start does) and forgets the
    // commands the drive has seen so far. A multi-image package is read at state.imageIndex.
    void UsePackage(const PackageContents& contents);
    void UseImage(const PackageImage& image, bool scrambled = false);

    FlashDriver Driver();
    // A driver whose pauses go through clock (which must pass them on to the rig's clock).
    FlashDriver Driver(Clock& pauses);
    bool Flash();

    // The drive's commands since UsePackage (or the last ForgetCommands), and those among
    // them that carry the opcode.
    const std::vector<ReceivedCommand>& Commands() const { return drive.Commands(); }
    std::vector<ReceivedCommand> CommandsWithOpcode(std::uint8_t opcode) const;
    void ForgetCommands();
    // The pause before command i: how much longer than one command's cost it came after the
    // previous one (or after ForgetCommands).
    std::uint32_t PauseBefore(std::size_t index) const;
    // Index of the first command of the completion wait: the first TEST UNIT READY after the
    // last trigger (or REQUEST SENSE) of the run.
    std::size_t FirstPollIndex() const;
    // The image the package carries, as the drive must program it.
    const std::vector<std::uint8_t>& ExpectedImage() const { return expectedImage_; }
    // True when the drive holds the package's image and runs it.
    bool DriveProgrammed();
    bool NtTransport() const { return transport_ == VirtualTransport::PassThrough; }

    VirtualDrive drive;
    DriveLink link;
    RecordingWindow window;
    std::unique_ptr<TempPackageFile> package;
    PackageHeader header;
    PackageState state;
    // The package as the check left it: open, stamped and summed.
    CheckedPackage checked;

private:
    VirtualTransport transport_;
    std::vector<std::uint8_t> expectedImage_;
    std::uint32_t startTick_ = 0;
};

// The status a CHECK CONDITION gives: the SCSI status on the pass-through transport, the
// request block's error status on ASPI.
unsigned CheckConditionStatus(VirtualTransport transport);
std::string TransportTestName(const ::testing::TestParamInfo<VirtualTransport>& info);

// A flash test on each transport: its rigs hold an image of blockSizes (or of the sizes given).
class FlashTest : public ::testing::TestWithParam<VirtualTransport> {
protected:
    std::unique_ptr<FlashRig> MakeRig(const VirtualDriveConfig& config,
                                      std::uint32_t startTick = 0) const {
        return MakeRig(config, blockSizes, startTick);
    }
    std::unique_ptr<FlashRig> MakeRig(const VirtualDriveConfig& config,
                                      const std::vector<std::uint16_t>& sizes,
                                      std::uint32_t startTick = 0) const {
        auto rig = std::make_unique<FlashRig>(GetParam(), config, startTick);
        rig->UseImage(PatternImage(sizes));
        return rig;
    }
    bool Nt() const { return GetParam() == VirtualTransport::PassThrough; }
    // CheckConditionStatus of the test's transport, as a log line shows it.
    std::string Refused() const { return std::to_string(CheckConditionStatus(GetParam())); }

    std::vector<std::uint16_t> blockSizes = {1000, 2000};
};

// The rig's drive configuration: a personality with the rig's latency and programming time.
VirtualDriveConfig RigConfig(Personality personality);

// A trigger as the drive received it: function code and block byte.
struct TriggerSent {
    std::uint8_t functionCode = 0;
    std::uint8_t triggerCode = 0;

    friend bool operator==(const TriggerSent&, const TriggerSent&) = default;
};
bool IsTrigger(const ReceivedCommand& command);
std::vector<TriggerSent> TriggersSent(const std::vector<ReceivedCommand>& commands);
void PrintTo(const TriggerSent& trigger, std::ostream* out);

}  // namespace troz::test
