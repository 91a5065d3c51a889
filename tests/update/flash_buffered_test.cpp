// The buffered download procedure: transfer images in WRITE BUFFER pieces, its trigger and
// resend, and the sense it evaluates on each transport.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/flash_rig.h"

namespace troz::test {
namespace {

struct Piece {
    std::uint32_t offset;
    std::uint32_t length;

    friend bool operator==(const Piece&, const Piece&) = default;
};

void PrintTo(const Piece& piece, std::ostream* out) {
    *out << "{" << piece.offset << ", " << piece.length << "}";
}

std::uint32_t Field24(const std::uint8_t* at) {
    return (static_cast<std::uint32_t>(at[0]) << 16) | (static_cast<std::uint32_t>(at[1]) << 8) |
           at[2];
}

// The pieces sent for one block, read back from the WRITE BUFFER commands the drive got.
std::vector<Piece> PiecesOf(const std::vector<ReceivedCommand>& writes, std::uint8_t block) {
    std::vector<Piece> pieces;
    for (const ReceivedCommand& write : writes) {
        if (write.cdb[3] == block) {
            pieces.push_back(
                {Field24(write.cdb.data() + 3) & 0xFFFF, Field24(write.cdb.data() + 6)});
        }
    }
    return pieces;
}

struct PieceCase {
    std::uint16_t blockSize;
    std::vector<Piece> pieces;
};

void PrintTo(const PieceCase& test, std::ostream* out) {
    *out << "block of " << test.blockSize;
}

class BufferedPieces : public ::testing::TestWithParam<std::tuple<VirtualTransport, PieceCase>> {};

std::string PieceCaseName(const ::testing::TestParamInfo<BufferedPieces::ParamType>& param) {
    return std::string(TransportName(std::get<0>(param.param))) + "_Block" +
           std::to_string(std::get<1>(param.param).blockSize);
}

TEST_P(BufferedPieces, TransferImageGoesInPiecesOfAtMost16384Bytes) {
    const auto [transport, piece] = GetParam();
    FlashRig rig(transport, RigConfig(Personality::BufferedOnly));
    // Block 1 is the one under test: its number must reach byte 3 of every piece.
    const PackageImage image = PatternImage({300, piece.blockSize});
    rig.UseImage(image);
    ASSERT_TRUE(rig.Driver().BufferedDownload());

    const auto writes = rig.CommandsWithOpcode(kOpWriteBuffer);
    EXPECT_EQ(PiecesOf(writes, 0), (std::vector<Piece>{{0, 302}}));
    EXPECT_EQ(PiecesOf(writes, 1), piece.pieces);
    std::vector<std::uint8_t> sent;
    for (const ReceivedCommand& write : writes) {
        EXPECT_EQ(BytesText({write.cdb.begin(), write.cdb.begin() + 3}), "3B 05 01");
        EXPECT_EQ(BytesText({write.cdb.begin() + 9, write.cdb.end()}), "00 00 00");
        EXPECT_EQ(write.length, Field24(write.cdb.data() + 6));
        EXPECT_EQ(write.direction, kDirectionOut);
        if (write.cdb[3] == 1) {
            sent.insert(sent.end(), write.dataOut.begin(), write.dataOut.end());
        }
    }
    // The length bytes carry the block size itself, high byte first, then the block.
    std::vector<std::uint8_t> transferImage = {static_cast<std::uint8_t>(piece.blockSize >> 8),
                                               static_cast<std::uint8_t>(piece.blockSize)};
    transferImage.insert(transferImage.end(), image[1].begin(), image[1].end());
    EXPECT_EQ(sent, transferImage);
    EXPECT_TRUE(rig.DriveProgrammed());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BufferedPieces,
    ::testing::Combine(
        ::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
        ::testing::Values(PieceCase{16381, {{0, 16383}}}, PieceCase{16382, {{0, 16384}}},
                          PieceCase{16383, {{0, 16384}, {16384, 1}}},
                          PieceCase{40000, {{0, 16384}, {16384, 16384}, {32768, 7234}}})),
    PieceCaseName);

TEST(BufferedLengthBytes, BlockOf40000BytesStartsWith9C40) {
    FlashRig rig(VirtualTransport::PassThrough, RigConfig(Personality::BufferedOnly));
    rig.UseImage(PatternImage({40000}));
    ASSERT_TRUE(rig.Driver().BufferedDownload());
    const auto writes = rig.CommandsWithOpcode(kOpWriteBuffer);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(CdbText(writes[0]), "3B 05 01 00 00 00 00 40 00 00 00 00");
    EXPECT_EQ(CdbText(writes[2]), "3B 05 01 00 80 00 00 1C 42 00 00 00");
    EXPECT_EQ(BytesText({writes[0].dataOut.begin(), writes[0].dataOut.begin() + 3}), "9C 40 02");
}

class BufferedDownloadTest : public FlashTest {
protected:
    BufferedDownloadTest() { blockSizes = {5000, 20000}; }
};

TEST_P(BufferedDownloadTest, TriggersWithFunctionFiveAndF0PlusCountWithoutProgressPerBlock) {
    auto rig = MakeRig(RigConfig(Personality::BufferedOnly));
    ASSERT_TRUE(rig->Driver().BufferedDownload());
    EXPECT_EQ(TriggersSent(rig->Commands()), (std::vector<TriggerSent>{{5, 0xF2}}));
    EXPECT_TRUE(rig->window.lines.empty());
    EXPECT_EQ(rig->window.progress, (std::vector<int>{70, 80}));
    EXPECT_TRUE(rig->CommandsWithOpcode(kOpRequestSense).empty());
    EXPECT_EQ(rig->window.dispatchCount, 0) << "the buffered wait dispatches nothing";
    EXPECT_TRUE(rig->DriveProgrammed());
}

TEST_P(BufferedDownloadTest, ScrambledBlocksReachTheDriveDescrambled) {
    FlashRig rig(GetParam(), RigConfig(Personality::BufferedOnly));
    rig.UseImage(PatternImage({16383, 900}), true);
    ASSERT_TRUE(rig.Driver().BufferedDownload());
    EXPECT_TRUE(rig.DriveProgrammed());
}

TEST_P(BufferedDownloadTest, ParameterListLengthErrorGetsOneResendWithE0PlusCount) {
    auto rig = MakeRig(RigConfig(Personality::BufferedResend));
    ASSERT_TRUE(rig->Driver().BufferedDownload());
    EXPECT_EQ(TriggersSent(rig->Commands()), (std::vector<TriggerSent>{{5, 0xF2}, {5, 0xE2}}));
    const auto& commands = rig->Commands();
    std::size_t first = 0;
    while (!IsTrigger(commands[first])) {
        ++first;
    }
    EXPECT_EQ(commands[first + 1].Opcode(), kOpTestUnitReady);
    EXPECT_TRUE(IsTrigger(commands[first + 2]));
    const auto senses = rig->CommandsWithOpcode(kOpRequestSense);
    if (Nt()) {
        // The pass-through transport asks the drive for the resend's sense.
        ASSERT_EQ(senses.size(), 1u);
        EXPECT_EQ(CdbText(commands[first + 3]), "03 00 00 00 12 00 00 00 00 00 00 00");
        EXPECT_EQ(commands[first + 3].length, 18u);
    } else {
        EXPECT_TRUE(senses.empty());
    }
    EXPECT_TRUE(rig->window.lines.empty());
    EXPECT_TRUE(rig->DriveProgrammed());
}

TEST_P(BufferedDownloadTest, RefusedPieceEndsTheProcedureBeforeAnyTrigger) {
    VirtualDriveConfig config = RigConfig(Personality::BufferedOnly);
    config.acceptsWriteBuffer = false;
    auto rig = MakeRig(config);
    EXPECT_FALSE(rig->Driver().BufferedDownload());
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{"Status:0x" + Refused() +
                                        " ; Err:Flash command(W) has problems."}));
    EXPECT_EQ(rig->Commands().size(), 1u);
    EXPECT_TRUE(rig->window.progress.empty());
}

// Without a resend both transports evaluate the transport's sense of the trigger itself.
TEST_P(BufferedDownloadTest, SenseOfTheTriggerItselfFailsWithoutResend) {
    for (const Sense sense : {Sense{3, 0x0C, 0}, Sense{6, 0x29, 0}, Sense{5, 0x26, 2}}) {
        VirtualDriveConfig config = RigConfig(Personality::BufferedOnly);
        config.RefuseTrigger(TriggerKind::Function5F, sense);
        auto rig = MakeRig(config);
        EXPECT_FALSE(rig->Driver().BufferedDownload());
        char line[64];
        std::snprintf(line, sizeof line, "Status:%s;SenseCode:%x : %x : %x;", Refused().c_str(),
                      sense.key, sense.asc, sense.ascq);
        EXPECT_EQ(rig->window.lines, (std::vector<std::string>{line, "Err:Flash Fail."}));
        // The same codes as numbers, for a front end to put in words.
        EXPECT_EQ(rig->window.senses,
                  (std::vector<std::array<int, 3>>{{sense.key, sense.asc, sense.ascq}}));
        EXPECT_EQ(TriggersSent(rig->Commands()).size(), 1u);
        EXPECT_TRUE(rig->CommandsWithOpcode(kOpRequestSense).empty());
    }
}

TEST_P(BufferedDownloadTest, SenseAfterTheResendFails) {
    VirtualDriveConfig config = RigConfig(Personality::BufferedResend);
    config.RefuseTrigger(TriggerKind::Function5E, {3, 0x0C, 0});
    auto rig = MakeRig(config);
    EXPECT_FALSE(rig->Driver().BufferedDownload());
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{"Status:" + Refused() + ";SenseCode:3 : c : 0;",
                                        "Err:Flash Fail."}));
    EXPECT_EQ(rig->window.progress, (std::vector<int>{70}));
}

// On the pass-through transport the REQUEST SENSE bytes decide, not the transport's sense.
// When that command fails its cleared reply reads "no sense": the procedure goes on to the
// wait, where a drive that never took the trigger does not count as back.
TEST(BufferedRequestSense, FailedRequestSenseReadsAsNoSense) {
    VirtualDriveConfig config = RigConfig(Personality::BufferedResend);
    config.RefuseTrigger(TriggerKind::Function5E, {5, 0x26, 0});
    FlashRig rig(VirtualTransport::PassThrough, config);
    rig.UseImage(PatternImage({5000, 20000}));
    rig.drive.InjectFault(CommandFault::CheckCondition({4, 0x44, 0}).OnOpcode(kOpRequestSense));
    EXPECT_FALSE(rig.Driver().BufferedDownload());
    EXPECT_EQ(rig.window.lines,
              (std::vector<std::string>{"Time Out Status:2;Debug:Trigger_SenseCode:0 : 0 : 0;",
                                        "Err:Flash error,time out 120 Sec"}));
    EXPECT_EQ(rig.drive.ProgramCount(), 0);
}

// A refused resend fails the same whether the drive keeps its sense for the REQUEST SENSE
// or the host adapter has already taken it (the REQUEST SENSE then reads the drive's state:
// "no sense" with a disc, "medium not present" without).
TEST(BufferedRequestSense, RefusedResendFailsAlsoWhenTheHostTookTheSense) {
    for (const auto& [takenByHost, disc] : {std::pair{false, true}, std::pair{true, true},
                                            std::pair{true, false}, std::pair{false, false}}) {
        VirtualDriveConfig config = RigConfig(Personality::BufferedResend);
        config.RefuseTrigger(TriggerKind::Function5E, {5, 0x24, 0});
        config.senseTakenByHost = takenByHost;
        config.mediumPresent = disc;
        FlashRig rig(VirtualTransport::PassThrough, config);
        rig.UseImage(PatternImage({5000, 20000}));
        EXPECT_FALSE(rig.Driver().BufferedDownload());
        EXPECT_EQ(rig.window.lines,
                  (std::vector<std::string>{"Status:2;SenseCode:5 : 24 : 0;", "Err:Flash Fail."}))
            << "sense taken by the host: " << takenByHost << ", disc: " << disc;
        const auto requestSense = rig.drive.CommandsWithOpcode(kOpRequestSense);
        ASSERT_EQ(requestSense.size(), 1u);
        EXPECT_EQ(requestSense[0].reply.scsiStatus, kScsiStatusGood);
        EXPECT_EQ(rig.drive.ProgramCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, BufferedDownloadTest,
                         ::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
                         TransportTestName);

}  // namespace
}  // namespace troz::test
