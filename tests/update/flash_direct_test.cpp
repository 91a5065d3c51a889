// The direct download procedure: one vendor download per block, the trigger and its resends.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/flash_rig.h"

namespace troz::test {
namespace {

constexpr std::uint8_t kFunctionStore = 5;

std::string TriggerCdb(std::uint8_t functionCode, std::uint8_t triggerCode, std::uint16_t sum) {
    char text[64];
    std::snprintf(text, sizeof text, "5A 00 38 54 52 A0 %02X %02X 00 00 %02X %02X", functionCode,
                  triggerCode, sum >> 8, sum & 0xFF);
    return text;
}

std::uint16_t SumOf(const std::vector<std::uint8_t>& bytes) {
    std::uint16_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum = static_cast<std::uint16_t>(sum + byte);
    }
    return sum;
}

// The opcodes from the first trigger to the last one, triggers written as "T<function>".
std::vector<std::string> TriggerPhase(const std::vector<ReceivedCommand>& commands) {
    std::vector<std::string> phase;
    std::size_t last = 0;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (IsTrigger(commands[i])) {
            last = i;
        }
    }
    bool started = false;
    for (std::size_t i = 0; i <= last && i < commands.size(); ++i) {
        started = started || IsTrigger(commands[i]);
        if (!started) {
            continue;
        }
        char text[8];
        if (IsTrigger(commands[i])) {
            std::snprintf(text, sizeof text, "T%u", commands[i].cdb[6]);
        } else {
            std::snprintf(text, sizeof text, "%02X", commands[i].Opcode());
        }
        phase.push_back(text);
    }
    return phase;
}

class DirectDownloadTest : public FlashTest {};

TEST_P(DirectDownloadTest, FourBlocksGoOneCommandEachThenTheTrigger) {
    auto rig = MakeRig(RigConfig(Personality::Direct), {1000, 2000, 3000, 500});
    ASSERT_TRUE(rig->Flash());

    EXPECT_EQ(rig->window.lines, (std::vector<std::string>{"Flashing .."}));
    EXPECT_EQ(rig->window.progress, (std::vector<int>{0, 20, 20, 40, 60, 80, 70, 80}));
    EXPECT_EQ(rig->window.rangeMaximum, 100);
    const auto& commands = rig->Commands();
    ASSERT_GE(commands.size(), 6u);
    const std::vector<std::string> blockCdbs = {
        "5A 00 38 54 52 A0 05 00 03 E8 00 00", "5A 00 38 54 52 A0 05 01 07 D0 00 00",
        "5A 00 38 54 52 A0 05 02 0B B8 00 00", "5A 00 38 54 52 A0 05 03 01 F4 00 00"};
    const PackageImage image = PatternImage({1000, 2000, 3000, 500});
    for (std::size_t n = 0; n < blockCdbs.size(); ++n) {
        EXPECT_EQ(CdbText(commands[n]), blockCdbs[n]);
        EXPECT_EQ(commands[n].direction, kDirectionOut);
        EXPECT_EQ(commands[n].dataOut, image[n]) << "block " << n;
    }
    EXPECT_EQ(CdbText(commands[4]), TriggerCdb(4, 0xE4, SumOf(rig->ExpectedImage())));
    EXPECT_EQ(commands[4].direction, kDirectionOut);
    EXPECT_EQ(commands[4].length, 0u);
    EXPECT_TRUE(rig->DriveProgrammed());
}

TEST_P(DirectDownloadTest, ScrambledBlocksReachTheDriveDescrambled) {
    auto rig = std::make_unique<FlashRig>(GetParam(), RigConfig(Personality::Direct));
    rig->UseImage(PatternImage({700, 4100}), true);
    ASSERT_TRUE(rig->Flash());
    EXPECT_TRUE(rig->DriveProgrammed());
}

TEST_P(DirectDownloadTest, RefusedBlockEndsTheProcedureWithItsStatus) {
    VirtualDriveConfig config = RigConfig(Personality::Direct);
    config.acceptsBlockDownload = false;
    auto rig = MakeRig(config);
    EXPECT_FALSE(rig->Driver().DirectDownload());
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{"Status:0x" + Refused() +
                                        " ; Err:Flash command(W) has problems."}));
    ASSERT_EQ(rig->Commands().size(), 1u) << "no trigger after a refused block";
    EXPECT_EQ(rig->window.progress, (std::vector<int>{40}));
    EXPECT_EQ(rig->window.failedBlocks, (std::vector<int>{0}));
}

// A refusal of function 4 with ILLEGAL REQUEST, whatever its ASC, gets one resend with 5.
class DirectTriggerResend : public ::testing::TestWithParam<std::tuple<VirtualTransport, Sense>> {};

std::string ResendName(const ::testing::TestParamInfo<DirectTriggerResend::ParamType>& param) {
    const Sense sense = std::get<1>(param.param);
    char name[48];
    std::snprintf(name, sizeof name, "%s_5_%02X_%02X", TransportName(std::get<0>(param.param)),
                  sense.asc, sense.ascq);
    return name;
}

TEST_P(DirectTriggerResend, SendsFunctionFiveOnceWithTheSameCode) {
    const auto [transport, refusal] = GetParam();
    VirtualDriveConfig config = RigConfig(Personality::Direct);
    config.RefuseTrigger(TriggerKind::Function4E, refusal);
    FlashRig rig(transport, config);
    rig.UseImage(PatternImage({1000, 2000}));
    ASSERT_TRUE(rig.Flash());

    EXPECT_EQ(TriggersSent(rig.Commands()),
              (std::vector<TriggerSent>{{4, 0xE2}, {kFunctionStore, 0xE2}}));
    // The ASPI transport sends TEST UNIT READY ahead of the resend.
    const std::vector<std::string> phase = transport == VirtualTransport::PassThrough
                                               ? std::vector<std::string>{"T4", "T5"}
                                               : std::vector<std::string>{"T4", "00", "T5"};
    EXPECT_EQ(TriggerPhase(rig.Commands()), phase);
    EXPECT_EQ(rig.window.lines, (std::vector<std::string>{"Flashing .."}));
    EXPECT_EQ(rig.clock.SleepsOfAtLeast(kShortestPauseMs),
              (std::vector<std::uint32_t>{2000, 20000}));
    EXPECT_EQ(rig.PauseBefore(rig.FirstPollIndex()), 20000u);
    EXPECT_TRUE(rig.DriveProgrammed());
}

INSTANTIATE_TEST_SUITE_P(
    AnyAsc, DirectTriggerResend,
    ::testing::Combine(::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
                       ::testing::Values(Sense{5, 0x24, 0}, Sense{5, 0x20, 0}, Sense{5, 0x1A, 0},
                                         Sense{5, 0x26, 2})),
    ResendName);

TEST_P(DirectDownloadTest, ParameterListLengthErrorOnTheResendLeadsToTheThirdAttempt) {
    auto rig = MakeRig(RigConfig(Personality::ThirdAttempt));
    ASSERT_TRUE(rig->Flash());
    EXPECT_EQ(TriggersSent(rig->Commands()),
              (std::vector<TriggerSent>{{4, 0xE2}, {5, 0xE2}, {5, 0xF2}}));
    const std::vector<std::string> phase =
        Nt() ? std::vector<std::string>{"T4", "T5", "00", "T5"}
             : std::vector<std::string>{"T4", "00", "T5", "00", "T5"};
    EXPECT_EQ(TriggerPhase(rig->Commands()), phase);
    const auto& commands = rig->Commands();
    const std::size_t third = rig->FirstPollIndex() - 1;
    EXPECT_EQ(CdbText(commands[third]), TriggerCdb(5, 0xF2, SumOf(rig->ExpectedImage())));
    EXPECT_EQ(rig->window.lines, (std::vector<std::string>{"Flashing .."}));
    EXPECT_TRUE(rig->DriveProgrammed());
}

TEST_P(DirectDownloadTest, OtherRefusalOfTheResendEndsWithItsSense) {
    VirtualDriveConfig config = RigConfig(Personality::Direct);
    config.RefuseTrigger(TriggerKind::Function4E, {5, 0x24, 0});
    config.RefuseTrigger(TriggerKind::Function5E, {5, 0x1A, 1});
    auto rig = MakeRig(config);
    EXPECT_FALSE(rig->Flash());
    EXPECT_EQ(TriggersSent(rig->Commands()), (std::vector<TriggerSent>{{4, 0xE2}, {5, 0xE2}}));
    const std::string status = Refused();
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{
                  "Flashing ..", "Status:" + status + ";SenseCode:5 : 1a : 1;", "Err:Flash Fail.",
                  "Err:The firmware is not support this device!!(7)"}));
}

// What the drive answers to the trigger decides whether the wait comes next.
struct TriggerAnswer {
    Sense sense;
    bool goesOn;
};

void PrintTo(const TriggerAnswer& answer, std::ostream* out) {
    PrintTo(answer.sense, out);
}

class DirectTriggerSense
    : public ::testing::TestWithParam<std::tuple<VirtualTransport, TriggerAnswer>> {};

std::string AnswerName(const ::testing::TestParamInfo<DirectTriggerSense::ParamType>& param) {
    return std::string(TransportName(std::get<0>(param.param))) + "_Key" +
           std::to_string(std::get<1>(param.param).sense.key);
}

TEST_P(DirectTriggerSense, NotReadyGoesOnOtherKeysFail) {
    const auto [transport, answer] = GetParam();
    VirtualDriveConfig config = RigConfig(Personality::Direct);
    if (answer.goesOn) {
        // NOT READY: the drive took the trigger and is busy programming.
        config.triggerAcceptance = TriggerAcceptance::NotReady;
    } else {
        config.RefuseTrigger(TriggerKind::Function4E, answer.sense);
    }
    FlashRig rig(transport, config);
    rig.UseImage(PatternImage({1000, 2000}));
    const bool flashed = rig.Driver().DirectDownload();

    EXPECT_EQ(TriggersSent(rig.Commands()).size(), 1u) << "no resend without ILLEGAL REQUEST";
    if (answer.goesOn) {
        EXPECT_TRUE(flashed);
        EXPECT_TRUE(rig.window.lines.empty());
        EXPECT_EQ(rig.window.progress.back(), 80);
        EXPECT_TRUE(rig.DriveProgrammed());
        return;
    }
    EXPECT_FALSE(flashed);
    char line[64];
    std::snprintf(line, sizeof line, "Status:%x;SenseCode:%x : %x : %x;",
                  CheckConditionStatus(transport), answer.sense.key, answer.sense.asc,
                  answer.sense.ascq);
    EXPECT_EQ(rig.window.lines, (std::vector<std::string>{line, "Err:Flash Fail."}));
    EXPECT_EQ(rig.window.progress.back(), 70);
    EXPECT_TRUE(rig.CommandsWithOpcode(kOpTestUnitReady).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DirectTriggerSense,
    ::testing::Combine(::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
                       ::testing::Values(TriggerAnswer{{2, 0x04, 0x01}, true},
                                         TriggerAnswer{{3, 0x0C, 0x00}, false},
                                         TriggerAnswer{{6, 0x29, 0x00}, false},
                                         TriggerAnswer{{4, 0x44, 0x00}, false})),
    AnswerName);

INSTANTIATE_TEST_SUITE_P(Transports, DirectDownloadTest,
                         ::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
                         TransportTestName);

}  // namespace
}  // namespace troz::test
