// Each personality answers the paths of the flash procedures as it should: which downloads
// it takes, how it answers each of the four triggers, its query flag, and how it comes back.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>

#include "tests/support/virtual_rig.h"

namespace troz::test {
namespace {

// A trigger's expected answer: accepted (with GOOD or NOT READY 2/04/01) or refused.
struct Answer {
    bool accepted = false;
    Sense sense;
};
constexpr Answer kTaken{true, kSenseNone};
constexpr Answer kTakenNotReady{true, kSenseBecomingReady};
constexpr Answer Refused(const Sense& sense) {
    return {false, sense};
}

struct PersonalityCase {
    const char* name;
    Personality personality;
    bool takesBlocks;
    bool takesWriteBuffer;
    std::uint8_t queryFlag;
    std::array<Answer, kTriggerKindCount> triggers;  // 4E, 5E, 5F, 4F
};

const PersonalityCase kCases[] = {
    {"Direct", Personality::Direct, true, true, 0, {kTaken, kTaken, kTaken, kTaken}},
    {"ResendWithFunction5",
     Personality::ResendWithFunction5,
     true,
     true,
     0,
     {Refused(kSenseInvalidFieldInCdb), kTaken, kTaken, kTaken}},
    {"ThirdAttempt",
     Personality::ThirdAttempt,
     true,
     true,
     0,
     {Refused(kSenseInvalidFieldInCdb), Refused(kSenseParameterListLength), kTaken, kTaken}},
    {"BufferedOnly", Personality::BufferedOnly, false, true, 1, {kTaken, kTaken, kTaken, kTaken}},
    {"BufferedResend",
     Personality::BufferedResend,
     false,
     true,
     1,
     {kTakenNotReady, kTakenNotReady, Refused(kSenseParameterListLength), kTakenNotReady}},
    // Nothing arrives, so every trigger finds no image.
    {"NoDownload",
     Personality::NoDownload,
     false,
     false,
     0,
     {Refused(kSenseInvalidFieldInCdb), Refused(kSenseInvalidFieldInCdb),
      Refused(kSenseInvalidFieldInCdb), Refused(kSenseInvalidFieldInCdb)}},
    {"NeverComesBack",
     Personality::NeverComesBack,
     true,
     true,
     0,
     {kTaken, kTaken, kTaken, kTaken}},
    {"ComesBackWithoutMedium",
     Personality::ComesBackWithoutMedium,
     true,
     true,
     0,
     {kTaken, kTaken, kTaken, kTaken}},
};

struct TriggerCase {
    PersonalityCase drive;
    TriggerKind kind;
};

std::string KindName(TriggerKind kind) {
    constexpr const char* kNames[] = {"Function4E", "Function5E", "Function5F", "Function4F"};
    return kNames[static_cast<std::size_t>(kind)];
}

// The case by its name in the test listing, not as raw bytes.
void PrintTo(const TriggerCase& x, std::ostream* out) {
    *out << x.drive.name << "/" << KindName(x.kind);
}

class PersonalityTrigger : public ::testing::TestWithParam<TriggerCase> {};

TEST_P(PersonalityTrigger, AnswersAsItsPersonalityDemands) {
    const PersonalityCase& drive = GetParam().drive;
    const TriggerKind kind = GetParam().kind;
    DriveRig rig(ConfigFor(drive.personality));
    rig.Start();
    const std::vector<Block> firmware = MakeFirmware(DemoFirmwareIdentity(), {2000, 3000});

    EXPECT_EQ(rig.DownloadBlocks(firmware), drive.takesBlocks);
    if (!drive.takesBlocks) {
        EXPECT_EQ(rig.WriteBufferBlocks(firmware), drive.takesWriteBuffer);
    }
    std::array<std::uint8_t, 10> query{};
    ASSERT_EQ(rig.atapi->VendorQuery(query), kCommandSuccess);
    EXPECT_EQ(query[0], drive.queryFlag);

    const bool function4 = kind == TriggerKind::Function4E || kind == TriggerKind::Function4F;
    const bool familyF = kind == TriggerKind::Function5F || kind == TriggerKind::Function4F;
    const std::uint8_t status =
        rig.Trigger(function4 ? 4 : 5, familyF ? 0xF2 : 0xE2, Checksum(firmware));

    const Answer& expected = drive.triggers[static_cast<std::size_t>(kind)];
    const bool answeredGood = expected.sense == kSenseNone;
    EXPECT_EQ(status, answeredGood ? kCommandSuccess : kScsiStatusCheckCondition);
    if (!answeredGood) {
        const SenseBytes sense = rig.Sense();
        EXPECT_EQ((Sense{sense.senseKey, sense.asc, sense.ascq}), expected.sense);
    }
    EXPECT_EQ(rig.drive.State(), expected.accepted ? DriveState::Programming : DriveState::Ready);
}

std::vector<TriggerCase> AllTriggerCases() {
    std::vector<TriggerCase> cases;
    for (const PersonalityCase& drive : kCases) {
        for (std::size_t k = 0; k < kTriggerKindCount; ++k) {
            cases.push_back({drive, static_cast<TriggerKind>(k)});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Personalities, PersonalityTrigger, ::testing::ValuesIn(AllTriggerCases()),
                         [](const auto& testParam) {
                             return std::string(testParam.param.drive.name) + "_" +
                                    KindName(testParam.param.kind);
                         });

class PersonalityComingBack : public ::testing::Test {
protected:
    // Takes the direct procedure's download and trigger, then lets time pass.
    void FlashAndWait(DriveRig& rig, std::uint32_t milliseconds) {
        rig.Start();
        const std::vector<Block> firmware = MakeFirmware(DemoFirmwareIdentity(), {2000});
        ASSERT_TRUE(rig.DownloadBlocks(firmware));
        ASSERT_EQ(rig.Trigger(4, 0xE1, Checksum(firmware)), kCommandSuccess);
        rig.clock.Advance(milliseconds);
    }
};

TEST_F(PersonalityComingBack, DriveRestartsWithUnitAttentionOnceThenIsReady) {
    DriveRig rig(ConfigFor(Personality::Direct));
    FlashAndWait(rig, 4000);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().senseKey, 0x06);
    EXPECT_EQ(rig.Sense().asc, 0x29);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
}

TEST_F(PersonalityComingBack, DriveWithoutMediumComesBackReportingMediumNotPresent) {
    DriveRig rig(ConfigFor(Personality::ComesBackWithoutMedium));
    FlashAndWait(rig, 4000);
    rig.atapi->TestUnitReady();  // the unit attention
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().senseKey, 0x02);
    EXPECT_EQ(rig.Sense().asc, 0x3A);
    EXPECT_EQ(rig.drive.ProgramCount(), 1);
}

TEST_F(PersonalityComingBack, DriveThatNeverComesBackStaysNotReady) {
    DriveRig rig(ConfigFor(Personality::NeverComesBack));
    FlashAndWait(rig, 3'600'000);
    EXPECT_EQ(rig.atapi->TestUnitReady(), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.Sense().senseKey, 0x02);
    EXPECT_EQ(rig.Sense().asc, 0x04);
    EXPECT_EQ(rig.drive.State(), DriveState::Programming);
}

TEST_F(PersonalityComingBack, WhileProgrammingOnlyInquiryAndRequestSenseAreAnswered) {
    DriveRig rig(ConfigFor(Personality::Direct));
    FlashAndWait(rig, 1000);
    std::array<std::uint8_t, 50> reply{};
    EXPECT_EQ(rig.atapi->Inquiry(reply), kCommandSuccess);
    EXPECT_EQ(rig.atapi->StopUnit(), kScsiStatusCheckCondition);
    EXPECT_EQ(rig.atapi->VendorQuery(std::span(reply).first<kVendorQueryLength>()),
              kScsiStatusCheckCondition);
    EXPECT_EQ(rig.atapi->RequestSense(std::span(reply).first<kRequestSenseAllocationLength>()),
              kCommandSuccess);
    EXPECT_EQ(reply[2], 0x02);
    EXPECT_EQ(reply[12], 0x04);
    EXPECT_EQ(reply[13], 0x01);
}

}  // namespace
}  // namespace troz::test
