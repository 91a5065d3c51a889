// The virtual drive's answers, command by command, through the real drive context and the
// virtual pass-through backend.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/virtual_rig.h"

namespace troz::test {
namespace {

class DriveCommands : public ::testing::Test {
protected:
    explicit DriveCommands(VirtualDriveConfig config = ConfigFor(Personality::Direct))
        : rig(config) {
        rig.Start();
        rig.drive.ClearCommands();
    }

    std::array<std::uint8_t, 18> RequestSense() {
        std::array<std::uint8_t, 18> reply{};
        EXPECT_EQ(rig.atapi->RequestSense(reply), kCommandSuccess);
        return reply;
    }

    std::uint8_t Send(std::array<std::uint8_t, 12> cdb) {
        return rig.atapi->ExecCommand(cdb.data(), nullptr, 0, kDirectionNone);
    }

    DriveRig rig;
};

TEST_F(DriveCommands, InquiryAnswersAsARemovableCdDvdDeviceWithItsModelCode) {
    std::array<std::uint8_t, 64> reply{};
    ASSERT_EQ(rig.atapi->Inquiry(std::span(reply).first<kInquiryAllocationLength>()),
              kCommandSuccess);

    EXPECT_EQ(reply[0], 0x05);
    EXPECT_EQ(reply[1], 0x80);
    EXPECT_EQ(reply[4], 0x5B);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data() + 8), 28),
              "TROZ    KVW-A100A       1.00");
    EXPECT_EQ(reply[38], 'A');
    EXPECT_EQ(reply[39], '1');
    // The catalogue asks for 50 bytes; nothing past them is written.
    EXPECT_EQ(reply[50], 0);
}

TEST_F(DriveCommands, DiscoveryListsTheDriveByItsIdentificationAndRevision) {
    ASSERT_EQ(rig.atapi->DriveCount(), 1);
    EXPECT_STREQ(rig.atapi->Entry(0).identification, "TROZ    KVW-A100A       ");
    EXPECT_STREQ(rig.atapi->Entry(0).revision, "1.00");
}

TEST_F(DriveCommands, TestUnitReadyIsGoodWhenReady) {
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(rig.Sense().senseKey, 0);
}

TEST_F(DriveCommands, StopPlayScanAndStopUnitAreGood) {
    EXPECT_EQ(rig.atapi->StopPlayScan(), kCommandSuccess);
    EXPECT_EQ(rig.atapi->StopUnit(), kCommandSuccess);
}

TEST_F(DriveCommands, UnknownOperationCodeIsAnIllegalRequest) {
    EXPECT_EQ(Send({0xA8}), kScsiStatusCheckCondition);
    const SenseBytes sense = rig.Sense();
    EXPECT_EQ(sense.senseKey, 0x05);
    EXPECT_EQ(sense.asc, 0x20);
    EXPECT_EQ(sense.ascq, 0x00);
    EXPECT_EQ(sense.targetStatus, kScsiStatusCheckCondition);
}

TEST_F(DriveCommands, OpcodeFiveAWithoutTheVendorSignatureIsAnInvalidField) {
    // 5A is MODE SENSE(10) to the drive: page 0x3F is not one it has.
    EXPECT_EQ(Send({0x5A, 0, 0x3F}), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().asc, 0x24);
    EXPECT_EQ(Send({0x5A, 0, 0x38, 'T', 'R', 0xB0}), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().asc, 0x24);
}

TEST_F(DriveCommands, RequestSenseReturnsThePendingSenseOnceInFixedFormat) {
    Send({0xA8});
    const auto sense = RequestSense();
    const std::array<std::uint8_t, 18> expected = {0x70, 0, 0x05, 0, 0, 0,    0,
                                                   10,   0, 0,    0, 0, 0x20, 0x00};
    EXPECT_EQ(sense, expected);

    const auto again = RequestSense();
    EXPECT_EQ(again[2], 0);
    EXPECT_EQ(again[12], 0);
}

TEST_F(DriveCommands, AnyOtherCommandDropsThePendingSense) {
    Send({0xA8});
    rig.atapi->TestUnitReady();
    EXPECT_EQ(RequestSense()[2], 0);
}

TEST_F(DriveCommands, VendorQueryAnswersTenBytesWithTheFlagFirst) {
    rig.drive.Config().queryFlag = 0x33;
    std::array<std::uint8_t, 20> reply;
    reply.fill(0xEE);
    ASSERT_EQ(rig.atapi->VendorQuery(std::span(reply).first<kVendorQueryLength>()),
              kCommandSuccess);
    EXPECT_EQ(reply[0], 0x33);
    EXPECT_EQ(reply[9], 0x00);
    EXPECT_EQ(reply[10], 0xEE);
}

TEST_F(DriveCommands, EveryCommandIsRecordedWithItsBytesAndAnswer) {
    const std::array<std::uint8_t, 4> data = {1, 2, 3, 0xFF};
    rig.atapi->VendorDownload(data.data(), 5, 3, 4, 0);
    rig.atapi->TestUnitReady();
    Send({0xA8});

    const auto& commands = rig.drive.Commands();
    ASSERT_EQ(commands.size(), 3u);
    const std::array<std::uint8_t, 12> download = {0x5A, 0, 0x38, 0x54, 0x52, 0xA0,
                                                   5,    3, 0,    4,    0,    0};
    EXPECT_EQ(commands[0].cdb, download);
    EXPECT_EQ(commands[0].direction, kDirectionOut);
    EXPECT_EQ(commands[0].length, 4u);
    EXPECT_EQ(commands[0].dataOut, std::vector<std::uint8_t>(data.begin(), data.end()));
    EXPECT_EQ(commands[0].dataOutSum, 0x105);
    EXPECT_EQ(commands[1].Opcode(), kOpTestUnitReady);
    EXPECT_EQ(commands[2].reply.scsiStatus, kScsiStatusCheckCondition);
    EXPECT_EQ(rig.drive.CommandsWithOpcode(kOpTestUnitReady).size(), 1u);
}

// What the kernel sends a new CD/DVD drive before its CD-ROM driver binds: each answered as
// an empty drive would, within the allocation length.
TEST_F(DriveCommands, AnswersWhatTheKernelAsksANewCdDvdDrive) {
    struct Case {
        const char* name;
        std::array<std::uint8_t, 12> cdb;
        std::uint8_t status;
        std::uint8_t asc;  // of the sense, for CHECK CONDITION
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
    };
    constexpr std::uint8_t kCheck = kScsiStatusCheckCondition;
    constexpr std::uint8_t kUntouched = 0xEE;
    // clang-format off
    const std::vector<Case> cases = {
        {"MODE SENSE(6) page 2A", {0x1A, 0, 0x2A, 0, 0x80}, kScsiStatusGood, 0,
         {{0, 23}, {3, 0}, {4, 0x2A}, {5, 0x12}, {24, kUntouched}}},
        {"MODE SENSE(6) cut to 8 bytes", {0x1A, 0, 0x2A, 0, 8}, kScsiStatusGood, 0,
         {{4, 0x2A}, {8, kUntouched}}},
        {"MODE SENSE(10) page 2A", {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80}, kScsiStatusGood, 0,
         {{0, 0}, {1, 26}, {7, 0}, {8, 0x2A}, {9, 0x12}}},
        {"MODE SENSE(6) other page", {0x1A, 0, 0x01, 0, 0x80}, kCheck, 0x24, {}},
        {"GET CONFIGURATION: no current profile", {0x46, 0, 0, 0, 0, 0, 0, 0, 16},
         kScsiStatusGood, 0, {{3, 4}, {6, 0}, {7, 0}, {8, kUntouched}}},
        {"GET EVENT STATUS NOTIFICATION: media class", {0x4A, 1, 0, 0, 0x10, 0, 0, 0, 8},
         kScsiStatusGood, 0, {{1, 6}, {2, 4}, {3, 0x10}, {5, 0}}},
        {"INQUIRY VPD 00", {0x12, 1, 0, 0, 0xFF}, kScsiStatusGood, 0,
         {{0, 5}, {1, 0}, {3, 1}, {4, 0}, {5, kUntouched}}},
        {"PREVENT/ALLOW", {0x1E, 0, 0, 0, 1}, kScsiStatusGood, 0, {}},
        {"READ CAPACITY", {0x25}, kCheck, 0x3A, {}},
        {"READ TOC", {0x43, 0, 0, 0, 0, 0, 0, 0, 12}, kCheck, 0x3A, {}},
        {"READ DISC INFORMATION", {0x51, 0, 0, 0, 0, 0, 0, 0, 34}, kCheck, 0x3A, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::array<std::uint8_t, 64> reply;
        reply.fill(kUntouched);
        const std::uint8_t direction = c.bytes.empty() ? kDirectionNone : kDirectionIn;
        EXPECT_EQ(rig.atapi->ExecCommand(c.cdb.data(), reply.data(), reply.size(), direction),
                  c.status == kScsiStatusGood ? kCommandSuccess : c.status)
            << c.name;
        if (c.status == kCheck) {
            EXPECT_EQ(rig.Sense().asc, c.asc) << c.name;
        }
        for (const auto& [offset, value] : c.bytes) {
            EXPECT_EQ(reply[offset], value) << c.name << " byte " << offset;
        }
    }
}

class DriveCommandsWithoutMedium : public DriveCommands {
protected:
    DriveCommandsWithoutMedium() : DriveCommands(ConfigFor(Personality::ComesBackWithoutMedium)) {}
};

TEST_F(DriveCommandsWithoutMedium, TestUnitReadyReportsMediumNotPresent) {
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().senseKey, 0x02);
    EXPECT_EQ(rig.Sense().asc, 0x3A);
    // With no sense pending REQUEST SENSE tells the drive's condition.
    EXPECT_EQ(RequestSense()[12], 0x3A);
    EXPECT_EQ(RequestSense()[12], 0x3A);
}

}  // namespace
}  // namespace troz::test
