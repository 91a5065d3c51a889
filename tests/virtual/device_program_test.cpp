// The device programs' shared part: the options that choose a drive and its faults, and
// the faults applied around the drive model as commands arrive from a kernel.
#include "virtual/device_programs/device_program.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/support/virtual_clock.h"

namespace troz::testing {
namespace {

bool Parse(std::vector<std::string> arguments, DeviceProgramOptions& options) {
    arguments.insert(arguments.begin(), "program");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    std::string error;
    return ParseDeviceProgramOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(DeviceProgramArguments, MalformedValuesAreRefused) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"--personality", "fast"},
                                               {"--fail", "block@0=3/0c/00"},
                                               {"--fail", "block@2=3/0c"},
                                               {"--fail", "zz@1=3/0c/00"},
                                               {"--slow", "trigger@1"},
                                               {"--refuse-trigger", "6E=5/24/00"},
                                               {"--identity", "TROZ:KVW:1.00:41"},
                                               {"--programming-ms", "-1"}}) {
        DeviceProgramOptions options;
        EXPECT_FALSE(Parse(arguments, options)) << arguments[0] << " " << arguments[1];
    }
}

TEST(DeviceProgramArguments, PersonalityKeepsIdentityAndUnseenArgumentAndHasNoDisc) {
    DeviceProgramOptions options;
    ASSERT_TRUE(Parse({"--trigger-argument-unseen", "--identity", "ACME:CD-9:2.00:4335",
                       "--personality", "buffered", "/dev/uio0"},
                      options));
    EXPECT_TRUE(options.config.triggerArgumentUnseen);
    EXPECT_FALSE(options.config.acceptsBlockDownload);
    EXPECT_EQ(options.config.identity, (DriveIdentity{"ACME", "CD-9", "2.00", {0x43, 0x35}}));
    EXPECT_FALSE(options.config.mediumPresent);
    EXPECT_EQ(options.rest, std::vector<std::string>{"/dev/uio0"});
}

// Every personality can be served: the names come from the one table beside the enum.
TEST(DeviceProgramArguments, EveryPersonalityHasItsName) {
    for (const PersonalityName& entry : kPersonalityNames) {
        DeviceProgramOptions options;
        ASSERT_TRUE(Parse({"--personality", entry.name}, options)) << entry.name;
        VirtualDriveConfig expected = ConfigFor(entry.personality);
        EXPECT_EQ(options.config.programmingNeverEnds, expected.programmingNeverEnds) << entry.name;
        EXPECT_EQ(options.config.triggerRefusals, expected.triggerRefusals) << entry.name;
        EXPECT_EQ(options.config.queryFlag, expected.queryFlag) << entry.name;
    }
}

// Faults count the vendor download's blocks and triggers, never the kernel's own
// MODE SENSE(10), which shares their opcode.
TEST(ServedDriveFaults, CountBlocksAndTriggersApartFromModeSense) {
    DeviceProgramOptions options;
    ASSERT_TRUE(Parse({"--fail", "block@2=3/0c/00", "--slow", "trigger@1=25000"}, options));
    VirtualClock clock;
    ServedDrive drive(clock, options);
    std::array<std::uint8_t, 128> data{};
    const std::array<std::uint8_t, 12> modeSense = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80};
    std::array<std::uint8_t, 12> block = {0x5A, 0, 0x38, 'T', 'R', 0xA0, 5, 0, 0, 16};
    const std::array<std::uint8_t, 12> trigger = {0x5A, 0, 0x38, 'T', 'R', 0xA0, 4, 0xE2};

    EXPECT_EQ(drive.Serve(modeSense.data(), 10, kDirectionIn, data.data(), 128).reply.scsiStatus,
              kScsiStatusGood);
    EXPECT_EQ(drive.Serve(block.data(), 12, kDirectionOut, data.data(), 16).reply.scsiStatus,
              kScsiStatusGood);
    block[7] = 1;
    const auto refused = drive.Serve(block.data(), 12, kDirectionOut, data.data(), 16).reply;
    EXPECT_EQ(refused.scsiStatus, kScsiStatusCheckCondition);
    EXPECT_EQ(refused.sense[kSenseKeyOffset], 3);
    EXPECT_EQ(refused.sense[kSenseAscOffset], 0x0C);
    EXPECT_EQ(drive.Serve(trigger.data(), 12, kDirectionNone, nullptr, 0).delayMs, 25000u);
    EXPECT_EQ(drive.Serve(trigger.data(), 12, kDirectionNone, nullptr, 0).delayMs, 0u);
}

TEST(ServedDriveFaults, DataDirectionOfOpcode5ADependsOnTheVendorSelector) {
    const std::array<std::uint8_t, 12> download = {0x5A, 0, 0x38, 'T', 'R', 0xA0};
    const std::array<std::uint8_t, 12> query = {0x5A, 0, 0x38, 'T', 'R', 0xC0};
    const std::array<std::uint8_t, 12> modeSense = {0x5A, 0, 0x2A};
    EXPECT_EQ(DataDirectionOf(download.data()), kDirectionOut);
    EXPECT_EQ(DataDirectionOf(query.data()), kDirectionIn);
    EXPECT_EQ(DataDirectionOf(modeSense.data()), kDirectionIn);
}

}  // namespace
}  // namespace troz::testing
