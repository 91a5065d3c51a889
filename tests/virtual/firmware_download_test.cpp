// Taking firmware: blocks by vendor download, transfer images by WRITE BUFFER pieces, and
// the trigger's checks of block count and checksum, through the real drive context.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ostream>
#include <string>

#include "tests/support/virtual_rig.h"

namespace troz::test {
namespace {

class FirmwareDownload : public ::testing::Test {
protected:
    FirmwareDownload() : rig(ConfigFor(Personality::Direct)) {
        rig.drive.Config().unitAttentionAfterRestart = false;
        rig.Start();
    }

    std::string InquiryText() {
        std::array<std::uint8_t, 50> reply{};
        rig.atapi->Inquiry(reply);
        return std::string(reinterpret_cast<const char*>(reply.data() + 8), 28);
    }

    DriveRig rig;
    std::vector<Block> firmware = MakeFirmware(DemoFirmwareIdentity(), {4096, 1000, 300});
};

TEST_F(FirmwareDownload, AcceptedTriggerProgramsTheImageAndTheDriveReportsItsIdentity) {
    ASSERT_TRUE(rig.DownloadBlocks(firmware));
    EXPECT_EQ(rig.Trigger(4, 0xE3, Checksum(firmware)), kCommandSuccess);
    EXPECT_EQ(rig.drive.State(), DriveState::Programming);

    rig.clock.Advance(4000);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(rig.drive.ProgrammedImage(), Concatenated(firmware));
    EXPECT_EQ(rig.drive.ProgramCount(), 1);
    EXPECT_EQ(InquiryText(), "TROZ    KVW-A100A       1.10");
}

TEST_F(FirmwareDownload, AnImageWithoutModelRecordLeavesTheIdentityAsItWas) {
    const std::vector<Block> plain = {Block(500, 0x11)};
    ASSERT_TRUE(rig.DownloadBlocks(plain));
    ASSERT_EQ(rig.Trigger(4, 0xE1, Checksum(plain)), kCommandSuccess);
    rig.clock.Advance(4000);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(InquiryText(), "TROZ    KVW-A100A       1.00");
}

struct RefusedTrigger {
    const char* name;
    std::size_t blocksSent;
    std::uint8_t blockByte;
    int checksumDelta;
    Sense expected;
};

// The case by its name in the test listing, not as raw bytes.
void PrintTo(const RefusedTrigger& x, std::ostream* out) {
    *out << x.name;
}

class FirmwareDownloadRefusal : public FirmwareDownload,
                                public ::testing::WithParamInterface<RefusedTrigger> {};

TEST_P(FirmwareDownloadRefusal, IsRefusedWithTheDrivesSenseAndKeepsTheDownload) {
    const RefusedTrigger& param = GetParam();
    const std::vector<Block> sent(firmware.begin(),
                                  firmware.begin() + static_cast<std::ptrdiff_t>(param.blocksSent));
    ASSERT_TRUE(rig.DownloadBlocks(sent));
    const auto checksum = static_cast<std::uint16_t>(Checksum(sent) + param.checksumDelta);

    EXPECT_EQ(rig.Trigger(4, param.blockByte, checksum), kScsiStatusCheckCondition);
    const SenseBytes sense = rig.Sense();
    EXPECT_EQ((troz::Sense{sense.senseKey, sense.asc, sense.ascq}), param.expected);
    EXPECT_EQ(rig.drive.State(), DriveState::Ready);

    // What arrived stays until a new download begins: the right trigger still takes it.
    const auto count = static_cast<std::uint8_t>(0xE0 + param.blocksSent);
    EXPECT_EQ(rig.Trigger(4, count, Checksum(sent)), kCommandSuccess);
}

INSTANTIATE_TEST_SUITE_P(
    Trigger, FirmwareDownloadRefusal,
    ::testing::Values(RefusedTrigger{"ChecksumOffByOne", 3, 0xE3, 1,
                                     kSenseInvalidFieldInParameters},
                      RefusedTrigger{"FewerBlocksThanCounted", 2, 0xE3, 0, kSenseInvalidFieldInCdb},
                      RefusedTrigger{"MoreBlocksThanCounted", 3, 0xE2, 0, kSenseInvalidFieldInCdb},
                      RefusedTrigger{"OtherFamilySameCount", 2, 0xF3, 0, kSenseInvalidFieldInCdb}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

TEST_F(FirmwareDownload, AnEmptyImageIsNotProgrammed) {
    EXPECT_EQ(rig.Trigger(4, 0xE0, 0), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().asc, 0x24);
    EXPECT_EQ(rig.drive.State(), DriveState::Ready);
}

TEST_F(FirmwareDownload, BlockZeroBeginsANewDownload) {
    ASSERT_TRUE(rig.DownloadBlocks(firmware));
    const std::vector<Block> shorter(firmware.begin(), firmware.begin() + 2);
    ASSERT_TRUE(rig.DownloadBlocks(shorter));
    EXPECT_EQ(rig.Trigger(4, 0xE2, Checksum(shorter)), kCommandSuccess);
}

TEST_F(FirmwareDownload, WriteBufferAssemblesTransferImagesFromPieces) {
    const std::vector<Block> large = MakeFirmware(DemoFirmwareIdentity(), {40000, 16382, 5});
    ASSERT_TRUE(rig.WriteBufferBlocks(large));

    const auto pieces = rig.drive.CommandsWithOpcode(kOpWriteBuffer);
    ASSERT_EQ(pieces.size(), 5u);
    // 40002 bytes: 16384 + 16384 + 7234 at offsets 0, 0x4000, 0x8000 of block 0.
    const std::array<std::uint8_t, 12> third = {0x3B, 0x05, 0x01, 0x00, 0x80, 0x00,
                                                0x00, 0x1C, 0x42, 0,    0,    0};
    EXPECT_EQ(pieces[2].cdb, third);
    EXPECT_EQ(pieces[0].dataOut[0], 0x9C);
    EXPECT_EQ(pieces[0].dataOut[1], 0x40);
    EXPECT_EQ(pieces[3].cdb[3], 1);
    EXPECT_EQ(pieces[3].length, 16384u);

    EXPECT_EQ(rig.Trigger(5, 0xF3, Checksum(large)), kCommandSuccess);
    rig.clock.Advance(4000);
    rig.atapi->TestUnitReady();
    EXPECT_EQ(rig.drive.ProgrammedImage(), Concatenated(large));
    EXPECT_EQ(InquiryText(), "TROZ    KVW-A100A       1.10");
}

TEST_F(FirmwareDownload, WriteBufferPiecesMayArriveInAnyOrder) {
    const std::vector<Block> one = MakeFirmware(DemoFirmwareIdentity(), {3000});
    Block image = {0x0B, 0xB8};
    image.insert(image.end(), one[0].begin(), one[0].end());
    // The piece at offset 0 begins a new download, so it goes first; the rest is free.
    ASSERT_EQ(rig.atapi->WriteBuffer(image.data(), 0, 0, 1000), kCommandSuccess);
    ASSERT_EQ(rig.atapi->WriteBuffer(image.data() + 2000, 0, 2000, 1002), kCommandSuccess);
    EXPECT_EQ(rig.Trigger(5, 0xF1, Checksum(one)), kScsiStatusCheckCondition);
    ASSERT_EQ(rig.atapi->WriteBuffer(image.data() + 1000, 0, 1000, 1000), kCommandSuccess);
    EXPECT_EQ(rig.Trigger(5, 0xF1, Checksum(one)), kCommandSuccess);
}

TEST_F(FirmwareDownload, TransferImageLongerThanItsLengthBytesIsNotABlock) {
    Block image = {0x00, 0x10};
    image.resize(2 + 0x20, 1);
    ASSERT_EQ(rig.atapi->WriteBuffer(image.data(), 0, 0, static_cast<std::uint32_t>(image.size())),
              kCommandSuccess);
    EXPECT_EQ(rig.Trigger(5, 0xF1, 0x10), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().asc, 0x24);
}

TEST_F(FirmwareDownload, WriteBufferRefusesAPiecePastTheLargestTransferImage) {
    const Block piece(16384, 0);
    EXPECT_EQ(rig.atapi->WriteBuffer(piece.data(), 0, 0xC002, 16384), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().asc, 0x24);
}

TEST_F(FirmwareDownload, WriteBufferInAnotherModeIsAnInvalidField) {
    std::array<std::uint8_t, 12> cdb = {0x3B, 0x02, 0x01, 0, 0, 0, 0, 0, 4};
    std::array<std::uint8_t, 4> data{};
    EXPECT_EQ(rig.atapi->ExecCommand(cdb.data(), data.data(), 4, kDirectionOut),
              kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().asc, 0x24);
}

TEST_F(FirmwareDownload, VendorDownloadWithLessDataThanItsLengthIsAParameterListLengthError) {
    std::array<std::uint8_t, 12> cdb = {0x5A, 0, 0x38, 'T', 'R', 0xA0, 5, 0, 0x01, 0x00};
    std::array<std::uint8_t, 16> data{};
    EXPECT_EQ(rig.atapi->ExecCommand(cdb.data(), data.data(), 16, kDirectionOut),
              kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().asc, 0x1A);
}

}  // namespace
}  // namespace troz::test
