// Faults injected into the virtual drive and the time it takes, through the real drive
// context over the virtual pass-through backend.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tests/support/virtual_rig.h"

namespace troz::test {
namespace {

class DriveFaults : public ::testing::Test {
protected:
    DriveFaults() : rig(ConfigFor(Personality::Direct)) { rig.Start(); }

    DriveRig rig;
    std::vector<Block> firmware = MakeFirmware(DemoFirmwareIdentity(), {2000, 500});
};

TEST_F(DriveFaults, TheNthCommandFailsWithTheGivenSense) {
    rig.drive.InjectFault(CommandFault::CheckCondition({0x03, 0x11, 0x00}).AtOccurrence(2));
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(rig.atapi->StopUnit(), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().senseKey, 0x03);
    EXPECT_EQ(rig.Sense().asc, 0x11);
    // The whole fixed-format sense came back, in the drive's time for one command.
    EXPECT_EQ(rig.atapi->LastOutcome().senseLength, kFixedSenseLength);
    EXPECT_EQ(rig.atapi->LastOutcome().durationMs, ConfigFor(Personality::Direct).commandLatencyMs);
    std::array<std::uint8_t, 18> sense{};
    rig.atapi->RequestSense(sense);
    EXPECT_EQ(sense[2], 0x03);
    EXPECT_EQ(rig.atapi->LastOutcome().residual, 0u);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(rig.atapi->LastOutcome().senseLength, 0);
}

TEST_F(DriveFaults, TheNthCommandWithAnOpcodeFailsAndTheFaultedCommandDoesNotRun) {
    rig.drive.InjectFault(
        CommandFault::CheckCondition(kSenseInvalidFieldInCdb).OnOpcode(kOpVendor).AtOccurrence(2));
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_TRUE(rig.DownloadBlocks({firmware[0]}));
    EXPECT_EQ(rig.atapi->VendorDownload(firmware[1].data(), 5, 1, 500, 0),
              kScsiStatusCheckCondition);
    EXPECT_FALSE(rig.drive.Staging().Block(1).has_value());
    EXPECT_EQ(rig.atapi->VendorDownload(firmware[1].data(), 5, 1, 500, 0), kCommandSuccess);
}

TEST_F(DriveFaults, AFaultCanLastSeveralCommandsOrForEver) {
    rig.drive.InjectFault(
        CommandFault::CheckCondition(kSenseBecomingReady).OnOpcode(kOpVendor).Times(2));
    std::array<std::uint8_t, 10> reply{};
    EXPECT_EQ(rig.atapi->VendorQuery(reply), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.atapi->VendorQuery(reply), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.atapi->VendorQuery(reply), kCommandSuccess);

    rig.drive.InjectFault(CommandFault::CheckCondition(kSenseBecomingReady).Times(0));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);
    }
    rig.drive.ClearFaults();
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
}

TEST_F(DriveFaults, AStatusOtherThanCheckConditionComesWithoutSense) {
    CommandFault busy;
    busy.scsiStatus = kScsiStatusBusy;
    rig.drive.InjectFault(busy);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusBusy);
    EXPECT_EQ(rig.Sense().senseKey, 0);
}

// On the pass-through transport a time-out and an I/O error are tolerated by the transport:
// the command "succeeds" without the drive having answered.
TEST_F(DriveFaults, TransportTimeOutAndIoErrorAreToleratedOnPassThrough) {
    for (const TransportFault fault : {TransportFault::TimedOut, TransportFault::IoError}) {
        rig.drive.InjectFault(CommandFault::Transport(fault));
        EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
        EXPECT_EQ(rig.atapi->LastOutcome().category, CommandCategory::ToleratedPlatformError);
        EXPECT_TRUE(rig.services.messages.empty());
    }
}

TEST_F(DriveFaults, ADriveThatDisappearsFailsAtThePlatformFromThenOn) {
    rig.drive.InjectFault(CommandFault::Transport(TransportFault::Gone).AtOccurrence(2));
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(rig.atapi->TestUnitReady(), 0);
    EXPECT_FALSE(rig.drive.Present());
    EXPECT_EQ(rig.atapi->TestUnitReady(), 0);
    // The system's text for the lost device shows once, not once per command.
    EXPECT_EQ(rig.services.messages.size(), 1u);
    EXPECT_EQ(rig.drive.Commands().back().reply.fault, TransportFault::Gone);
}

TEST_F(DriveFaults, PowerLostWhileProgrammingLeavesTheDriveInItsBootLoader) {
    rig.drive.LosePowerWhileProgramming(1500);
    ASSERT_TRUE(rig.DownloadBlocks(firmware));
    ASSERT_EQ(rig.Trigger(4, 0xE2, Checksum(firmware)), kCommandSuccess);
    rig.clock.Advance(1500);

    EXPECT_EQ(rig.drive.State(), DriveState::BootLoader);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);  // power-on attention
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().senseKey, 0x02);
    EXPECT_EQ(rig.Sense().asc, 0x04);
    EXPECT_EQ(rig.Sense().ascq, 0x00);
    std::array<std::uint8_t, 50> inquiry{};
    rig.atapi->Inquiry(inquiry);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(inquiry.data() + 32), 4), "BOOT");
    EXPECT_EQ(rig.drive.ProgramCount(), 0);
}

TEST_F(DriveFaults, ADriveInItsBootLoaderCanBeFlashedAgain) {
    rig.drive.Config().unitAttentionAfterRestart = false;
    rig.drive.LosePowerWhileProgramming(10);
    ASSERT_TRUE(rig.DownloadBlocks(firmware));
    ASSERT_EQ(rig.Trigger(4, 0xE2, Checksum(firmware)), kCommandSuccess);
    rig.clock.Advance(10);
    ASSERT_EQ(rig.drive.State(), DriveState::BootLoader);

    ASSERT_TRUE(rig.DownloadBlocks(firmware));
    ASSERT_EQ(rig.Trigger(4, 0xE2, Checksum(firmware)), kCommandSuccess);
    rig.clock.Advance(4000);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(rig.drive.Identity().revision, "1.10");
}

TEST_F(DriveFaults, CuttingPowerWhenReadyLosesTheDownloadAndRaisesUnitAttention) {
    ASSERT_TRUE(rig.DownloadBlocks(firmware));
    rig.drive.CutPower();
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().senseKey, 0x06);
    EXPECT_EQ(rig.Trigger(4, 0xE2, Checksum(firmware)), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().asc, 0x24);
}

class DriveTime : public ::testing::Test {
protected:
    static VirtualDriveConfig Config(Personality personality, std::uint32_t programmingMs) {
        VirtualDriveConfig config = ConfigFor(personality);
        config.programmingMs = programmingMs;
        config.unitAttentionAfterRestart = false;
        return config;
    }
};

TEST_F(DriveTime, ProgrammingTakesTheConfiguredClockTime) {
    VirtualDriveConfig config = Config(Personality::Direct, 7000);
    config.commandLatencyMs = 0;
    DriveRig rig(config);
    rig.Start();
    const auto firmware = MakeFirmware(DemoFirmwareIdentity(), {1000});
    ASSERT_TRUE(rig.DownloadBlocks(firmware));
    ASSERT_EQ(rig.Trigger(4, 0xE1, Checksum(firmware)), kCommandSuccess);

    rig.clock.Advance(6999);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);
    rig.clock.Advance(1);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
}

TEST_F(DriveTime, EachCommandCostsItsLatencyOnTheClock) {
    VirtualDriveConfig config = Config(Personality::Direct, 4000);
    config.commandLatencyMs = 5;
    DriveRig rig(config);
    rig.Start();
    rig.clock.ClearSleeps();
    const std::uint64_t before = rig.clock.Now();
    for (int i = 0; i < 10; ++i) {
        rig.atapi->TestUnitReady();
    }
    EXPECT_EQ(rig.clock.Now() - before, 50u);
    EXPECT_EQ(rig.clock.Sleeps(), std::vector<std::uint32_t>(10, 5));
    EXPECT_TRUE(rig.clock.SleepsOfAtLeast(100).empty());
}

// The completion wait's time-out: 121 whole seconds of polling back to back, across the
// wrap of the tick count, in a few milliseconds of real time.
TEST_F(DriveTime, AWaitOf121SecondsForADriveThatNeverComesBackRunsOnTheVirtualClock) {
    DriveRig rig(Config(Personality::NeverComesBack, 4000));
    rig.clock.SetTick(0xFFFF0000u);
    rig.Start();
    const auto firmware = MakeFirmware(DemoFirmwareIdentity(), {1000});
    ASSERT_TRUE(rig.DownloadBlocks(firmware));
    ASSERT_EQ(rig.Trigger(4, 0xE1, Checksum(firmware)), kCommandSuccess);

    const std::uint32_t start = rig.clock.GetTickCount();
    int polls = 0;
    while ((rig.clock.GetTickCount() - start) / 1000 <= 120) {
        ASSERT_NE(rig.atapi->TestUnitReady(), kCommandSuccess);
        ++polls;
    }
    EXPECT_EQ(polls, 121000 / 2);
    EXPECT_LT(rig.clock.GetTickCount(), start);  // the tick count wrapped on the way
    EXPECT_EQ(rig.Sense().asc, 0x04);
}

TEST(VirtualClockTest, SleepAdvancesAtOnceAndIsRecorded) {
    VirtualClock clock(0xFFFFFFFFu);
    clock.Sleep(2);
    clock.Sleep(2000);
    clock.Advance(10);
    EXPECT_EQ(clock.GetTickCount(), 2011u);
    EXPECT_EQ(clock.Sleeps(), (std::vector<std::uint32_t>{2, 2000}));
    EXPECT_EQ(clock.SleepsOfAtLeast(100), (std::vector<std::uint32_t>{2000}));
}

}  // namespace
}  // namespace troz::test
