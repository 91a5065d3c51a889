// The flash driver: which procedures run in which order, the vendor query, the trigger
// codes and pauses of each procedure, and packages that no longer fit the block buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/support/flash_rig.h"

namespace troz::test {
namespace {

constexpr std::uint8_t kQuerySelector = 0xC0;

std::vector<ReceivedCommand> Queries(const FlashRig& rig) {
    std::vector<ReceivedCommand> queries;
    for (const ReceivedCommand& command : rig.CommandsWithOpcode(kOpVendor)) {
        if (command.cdb[5] == kQuerySelector) {
            queries.push_back(command);
        }
    }
    return queries;
}

class FlashFirmwareTest : public FlashTest {
protected:
    FlashFirmwareTest() { blockSizes = {3000, 3000}; }
    std::string BlockRefusedLine() const {
        return "Status:0x" + Refused() + " ; Err:Flash command(W) has problems.";
    }
};

TEST_P(FlashFirmwareTest, BufferedProcedureFollowsAFailedDirectOne) {
    auto rig = MakeRig(RigConfig(Personality::BufferedOnly));
    ASSERT_TRUE(rig->Flash());
    EXPECT_EQ(rig->window.lines, (std::vector<std::string>{"Flashing ..", BlockRefusedLine()}));
    EXPECT_EQ(rig->window.progress, (std::vector<int>{0, 20, 40, 70, 80}));
    const auto queries = Queries(*rig);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(CdbText(queries[0]), "5A 00 38 54 52 C0 00 00 00 00 00 00");
    EXPECT_EQ(queries[0].direction, kDirectionIn);
    EXPECT_EQ(queries[0].length, 10u);
    EXPECT_EQ(rig->Commands()[1].cdb[5], kQuerySelector) << "the query follows the refused block";
    EXPECT_TRUE(rig->DriveProgrammed());
}

TEST_P(FlashFirmwareTest, QueryFlagZeroEndsWithCheckSeven) {
    auto rig = MakeRig(RigConfig(Personality::NoDownload));
    EXPECT_FALSE(rig->Flash());
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{"Flashing ..", BlockRefusedLine(),
                                        "Err:The firmware is not support this device!!(7)"}));
    EXPECT_EQ(Queries(*rig).size(), 1u);
    EXPECT_TRUE(rig->CommandsWithOpcode(kOpWriteBuffer).empty());
}

TEST_P(FlashFirmwareTest, QueryFailingTwiceCountsAsZero) {
    VirtualDriveConfig config = RigConfig(Personality::NoDownload);
    config.queryFlag = 1;
    config.acceptsWriteBuffer = true;
    auto rig = MakeRig(config);
    // The refused block is vendor command 1; the two queries are 2 and 3.
    rig->drive.InjectFault(
        CommandFault::CheckCondition({2, 0x04, 0x01}).OnOpcode(kOpVendor).AtOccurrence(2).Times(2));
    EXPECT_FALSE(rig->Flash());
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{"Flashing ..", BlockRefusedLine(),
                                        "Err:The firmware is not support this device!!(7)"}));
    EXPECT_EQ(Queries(*rig).size(), 2u);
    EXPECT_TRUE(rig->CommandsWithOpcode(kOpWriteBuffer).empty());
}

TEST_P(FlashFirmwareTest, QueryAnsweredTheSecondTimeLetsTheBufferedProcedureRun) {
    auto rig = MakeRig(RigConfig(Personality::BufferedOnly));
    rig->drive.InjectFault(
        CommandFault::CheckCondition({2, 0x04, 0x01}).OnOpcode(kOpVendor).AtOccurrence(2));
    ASSERT_TRUE(rig->Flash());
    EXPECT_EQ(Queries(*rig).size(), 2u);
    EXPECT_TRUE(rig->DriveProgrammed());
}

TEST_P(FlashFirmwareTest, BothProceduresFailingShowBothSetsOfLines) {
    VirtualDriveConfig config = RigConfig(Personality::NoDownload);
    config.queryFlag = 1;
    auto rig = MakeRig(config);
    EXPECT_FALSE(rig->Flash());
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{"Flashing ..", BlockRefusedLine(), BlockRefusedLine(),
                                        "Err:Flash Fail!!"}));
    EXPECT_TRUE(TriggersSent(rig->Commands()).empty());
}

// A package that changed on disk after Start validated it is refused with a line, and
// nothing of it reaches the drive.
TEST_P(FlashFirmwareTest, BlockThatNoLongerFitsTheBufferIsRefused) {
    for (const std::uint16_t size : {std::uint16_t{65534}, std::uint16_t{65535}}) {
        auto rig = MakeRig(RigConfig(Personality::BufferedOnly));
        rig->header.SetBlockSize(1, size);
        EXPECT_FALSE(rig->Flash());
        EXPECT_EQ(rig->window.lines,
                  (std::vector<std::string>{"Flashing ..", "Err:Firmware block too large!!",
                                            "Err:Firmware block too large!!", "Err:Flash Fail!!"}));
        EXPECT_EQ(rig->Commands().size(), 1u) << "only the vendor query";
    }
}

TEST_P(FlashFirmwareTest, MoreBlocksThanTheTableHoldsAreRefused) {
    auto rig = MakeRig(RigConfig(Personality::Direct));
    rig->header.SetBlockCount(9);
    EXPECT_FALSE(rig->Flash());
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{"Flashing ..", "Err:Firmware file has too many blocks!!",
                                        "Err:The firmware is not support this device!!(7)"}));
}

TEST_P(FlashFirmwareTest, PackageCutShortAfterValidationIsReported) {
    auto rig = MakeRig(RigConfig(Personality::Direct));
    std::vector<std::uint8_t> bytes = BuildPackage({false, false, {PatternImage({3000, 3000})}});
    bytes.resize(kPackageHeaderSize + 3000 + 10);
    std::FILE* file = std::fopen(rig->package->Path().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    EXPECT_FALSE(rig->Driver().DirectDownload());
    EXPECT_EQ(rig->window.lines, (std::vector<std::string>{kPackageChanged}));
    EXPECT_TRUE(rig->Commands().empty());
}

TEST_P(FlashFirmwareTest, PackageGoneAfterValidationIsReported) {
    auto rig = MakeRig(RigConfig(Personality::Direct));
    if (std::remove(rig->package->Path().c_str()) != 0) {
        GTEST_SKIP() << "the system keeps a file that is open in place (Windows)";
    }
    EXPECT_FALSE(rig->Driver().DirectDownload());
    EXPECT_EQ(rig->window.lines, (std::vector<std::string>{kPackageChanged}));
    EXPECT_TRUE(rig->Commands().empty());
}

// Nothing may cut the write short from the first command that carries firmware until the
// procedures are over, whichever way they end; a refusal before that holds nothing.
TEST_P(FlashFirmwareTest, DriveIsBeingWrittenFromTheFirstFirmwareCommandToTheEnd) {
    struct Case {
        Personality personality;
        int blockCount;  // 0: the package's own
        bool marked;
    };
    for (const Case& c :
         {Case{Personality::Direct, 0, true}, Case{Personality::BufferedOnly, 0, true},
          Case{Personality::NoDownload, 0, true}, Case{Personality::Direct, 9, false}}) {
        auto rig = MakeRig(RigConfig(c.personality));
        if (c.blockCount != 0) {
            rig->header.SetBlockCount(c.blockCount);
        }
        std::vector<std::pair<bool, std::size_t>> marks;
        rig->window.onDriveBeingWritten = [&](bool writing) {
            marks.emplace_back(writing, rig->Commands().size());
        };
        rig->Flash();
        using Marks = std::vector<std::pair<bool, std::size_t>>;
        const Marks expected =
            c.marked ? Marks{{true, 0}, {false, rig->Commands().size()}} : Marks{};
        EXPECT_EQ(marks, expected) << static_cast<int>(c.personality);
    }
}

TEST_P(FlashFirmwareTest, MultiImagePackageSendsThePickedImageWithItsChecksum) {
    for (const Personality personality : {Personality::Direct, Personality::BufferedOnly}) {
        FlashRig rig(GetParam(), RigConfig(personality));
        std::vector<PackageImage> images;
        for (std::uint16_t k = 0; k < 3; ++k) {
            images.push_back(PatternImage({static_cast<std::uint16_t>(1000), 2000}));
            images.back()[1][7] = static_cast<std::uint8_t>(k);  // a checksum of its own
        }
        rig.state.imageIndex = 2;
        rig.UsePackage({true, false, images});
        ASSERT_TRUE(rig.Flash());
        const std::uint16_t checksum = rig.header.ImageChecksum(2);
        EXPECT_NE(checksum, rig.header.ImageChecksum(1));
        const auto triggers = rig.Commands();
        const auto trigger = std::find_if(triggers.rbegin(), triggers.rend(), IsTrigger);
        ASSERT_NE(trigger, triggers.rend());
        EXPECT_EQ(trigger->cdb[10], checksum >> 8);
        EXPECT_EQ(trigger->cdb[11], checksum & 0xFF);
        EXPECT_TRUE(rig.DriveProgrammed());
    }
}

// A drive or bridge that answers in descriptor format is refused and resent exactly as one
// in fixed format: read as fixed, its refusals would look like sense key 0x1A or 0x24.
TEST_P(FlashFirmwareTest, DescriptorFormatSenseTakesTheResendPaths) {
    const std::vector<std::pair<Personality, std::vector<TriggerSent>>> cases = {
        {Personality::ThirdAttempt, {{4, 0xE2}, {5, 0xE2}, {5, 0xF2}}},
        {Personality::BufferedResend, {{5, 0xF2}, {5, 0xE2}}},
    };
    for (const auto& [personality, triggers] : cases) {
        VirtualDriveConfig config = RigConfig(personality);
        config.descriptorSense = true;
        auto rig = MakeRig(config);
        EXPECT_TRUE(rig->Flash()) << ::testing::PrintToString(rig->window.lines);
        EXPECT_EQ(TriggersSent(rig->Commands()), triggers);
        EXPECT_TRUE(rig->DriveProgrammed());
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, FlashFirmwareTest,
                         ::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
                         TransportTestName);

// Trigger codes: the block count added to 0xE0 or 0xF0, per procedure and attempt.
struct TriggerCodeCase {
    const char* name;
    bool buffered;
    std::uint16_t blockCount;
    std::vector<TriggerSent> triggers;
};

void PrintTo(const TriggerCodeCase& test, std::ostream* out) {
    *out << test.name;
}

class TriggerCodes : public ::testing::TestWithParam<TriggerCodeCase> {};

TEST_P(TriggerCodes, CarryTheBlockCount) {
    const TriggerCodeCase& test = GetParam();
    VirtualDriveConfig config = RigConfig(Personality::ThirdAttempt);
    config.RefuseTrigger(TriggerKind::Function5F, {5, 0x1A, 0});
    FlashRig rig(VirtualTransport::PassThrough, config);
    rig.UseImage(PatternImage(std::vector<std::uint16_t>(test.blockCount, 100)));
    auto driver = rig.Driver();
    EXPECT_FALSE(test.buffered ? driver.BufferedDownload() : driver.DirectDownload());
    EXPECT_EQ(TriggersSent(rig.Commands()), test.triggers);
}

INSTANTIATE_TEST_SUITE_P(
    Procedures, TriggerCodes,
    ::testing::Values(
        TriggerCodeCase{"DirectEightBlocks", false, 8, {{4, 0xE8}, {5, 0xE8}, {5, 0xF8}}},
        TriggerCodeCase{"DirectNoBlock", false, 0, {{4, 0xE0}, {5, 0xE0}, {5, 0xF0}}},
        TriggerCodeCase{"BufferedEightBlocks", true, 8, {{5, 0xF8}, {5, 0xE8}}},
        TriggerCodeCase{"BufferedNoBlock", true, 0, {{5, 0xF0}, {5, 0xE0}}}),
    [](const ::testing::TestParamInfo<TriggerCodeCase>& param) {
        return std::string(param.param.name);
    });

// Every pause, per procedure and transport. Each command costs the drive far less than the
// shortest pause, so the clock's long sleeps are exactly the pauses.
struct PauseCase {
    const char* name;
    Personality personality;
    VirtualTransport transport;
    std::vector<std::uint32_t> pauses;
};

void PrintTo(const PauseCase& test, std::ostream* out) {
    *out << test.name;
}

class FlashPauses : public ::testing::TestWithParam<PauseCase> {};

TEST_P(FlashPauses, AreThoseOfTheProcedureAndTransport) {
    const PauseCase& test = GetParam();
    FlashRig rig(test.transport, RigConfig(test.personality));
    rig.UseImage(PatternImage({3000, 3000}));
    ASSERT_TRUE(rig.Flash());
    EXPECT_EQ(rig.clock.SleepsOfAtLeast(kShortestPauseMs), test.pauses);
    // The first pause comes before the first block, the last one (if any) before the wait.
    EXPECT_EQ(rig.PauseBefore(0), 2000u);
    const std::uint32_t beforeWait = rig.PauseBefore(rig.FirstPollIndex());
    EXPECT_TRUE(beforeWait == 0 || beforeWait == test.pauses.back()) << beforeWait;
}

constexpr auto kNt = VirtualTransport::PassThrough;
constexpr auto kAspi = VirtualTransport::Aspi;

INSTANTIATE_TEST_SUITE_P(
    Table, FlashPauses,
    ::testing::Values(
        PauseCase{"DirectNt", Personality::Direct, kNt, {2000}},
        PauseCase{"DirectAspi", Personality::Direct, kAspi, {2000}},
        PauseCase{"DirectResendNt", Personality::ResendWithFunction5, kNt, {2000, 20000}},
        PauseCase{"DirectResendAspi", Personality::ResendWithFunction5, kAspi, {2000, 20000}},
        PauseCase{"DirectThirdAttemptNt", Personality::ThirdAttempt, kNt, {2000, 20000}},
        PauseCase{"BufferedNt", Personality::BufferedOnly, kNt, {2000, 500, 3000}},
        PauseCase{"BufferedAspi", Personality::BufferedOnly, kAspi, {2000, 500}},
        PauseCase{"BufferedResendNt", Personality::BufferedResend, kNt, {2000, 500, 3000}},
        PauseCase{"BufferedResendAspi", Personality::BufferedResend, kAspi, {2000, 500, 20000}}),
    [](const ::testing::TestParamInfo<PauseCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace troz::test
