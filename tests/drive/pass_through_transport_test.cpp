#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "drive/atapi.h"
#include "os/os_errors.h"
#include "tests/support/drive_fakes.h"

namespace troz::test {
namespace {

// A failure the adapter or driver reported (Linux): the call went through, so no error
// number; the statuses as they came and the text the backend wrote.
PlatformError StatusFailure(std::uint16_t hostStatus, std::uint16_t driverStatus = 0) {
    PlatformError error{
        PlatformErrorKind::Other, 0,
        "status " + std::to_string(hostStatus) + "/" + std::to_string(driverStatus)};
    error.hostStatus = hostStatus;
    error.driverStatus = driverStatus;
    return error;
}

class PassThroughTransport : public FakeDriveTest {
protected:
    PassThroughTransport() {
        platform.passThrough.drives[4] = &drive;
        platform.passThrough.clock = &clock;
    }
    void SetUp() override {
        Start();
        platform.passThrough.sent.clear();
    }
    const SentBlock& Last() const { return platform.passThrough.sent.back(); }

    ScriptedDrive drive;
    const std::uint8_t cdb[12] = {0x12, 0, 0, 0, 0x32, 0, 0, 0, 0, 0, 0, 0};
    std::uint8_t buffer[64] = {};
};

TEST_F(PassThroughTransport, BlockCarriesTheFixedValuesAndTheMappedDirection) {
    const struct {
        std::uint8_t direction;
        std::uint8_t dataIn;
    } cases[] = {{kDirectionIn, 1}, {kDirectionOut, 0}, {kDirectionNone, 2}, {4, 2}, {0x18, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.direction));
        EXPECT_EQ(atapi->ExecCommand(cdb, buffer, 50, c.direction), kCommandSuccess);
        EXPECT_EQ(Last().dataIn, c.dataIn);
        EXPECT_EQ(Last().length, pass_through_layout::kRecordSize);
        EXPECT_EQ(Last().cdbLength, 12);
        EXPECT_EQ(Last().senseInfoLength, 24);
        EXPECT_EQ(Last().timeOutValue, 20u);
        EXPECT_EQ(Last().senseInfoOffset, pass_through_layout::kSenseBuffer);
        EXPECT_EQ(Last().dataTransferLength, 50u);
        EXPECT_EQ(Last().dataBuffer, buffer);
        EXPECT_EQ(Last().handle, 0x1004);
        EXPECT_TRUE(Last().otherBytesZero);
    }
}

TEST_F(PassThroughTransport, NoDataCommandGoesWithNullBufferAndZeroLength) {
    EXPECT_EQ(atapi->ExecCommand(cdb, nullptr, 0, kDirectionNone), kCommandSuccess);
    EXPECT_EQ(Last().dataIn, 2);
    EXPECT_EQ(Last().dataTransferLength, 0u);
    EXPECT_EQ(Last().dataBuffer, nullptr);
}

TEST_F(PassThroughTransport, TimeOutAndDeviceErrorsAreToleratedAndRemembered) {
    for (PlatformErrorKind kind : {PlatformErrorKind::TimedOut, PlatformErrorKind::IoDevice}) {
        platform.passThrough.replies.push_back({{kind, 121}, 0, {}});
        EXPECT_EQ(atapi->TestUnitReady(), kCommandSuccess);
        EXPECT_EQ(atapi->LastOutcome().category, CommandCategory::ToleratedPlatformError);
        platform.passThrough.replies.push_back(
            {{kind, 1117}, kScsiStatusCheckCondition, {2, 4, 7}});
        EXPECT_EQ(atapi->TestUnitReady(), kScsiStatusCheckCondition);
    }
    EXPECT_TRUE(services.messages.empty());
    atapi->TestUnitReady();
    EXPECT_NE(atapi->LastOutcome().category, CommandCategory::ToleratedPlatformError);
}

TEST_F(PassThroughTransport, OtherPlatformErrorShowsTheSystemTextAndGivesZero) {
    platform.passThrough.formatter = [](std::uint32_t code, std::string& text, std::uint32_t&) {
        text = code == 5 ? "Access is denied." : "?";
        return true;
    };
    platform.passThrough.replies.push_back({{PlatformErrorKind::Other, 5}, 0, {}});
    EXPECT_EQ(atapi->TestUnitReady(), 0);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0], "Access is denied.\n");
}

// Each way a command can end lands in one category, with the status byte callers rely on
// and the error's own text shown in place of the system's.
TEST_F(PassThroughTransport, EveryCommandEndsInOneOutcome) {
    const struct {
        PlatformError error;
        std::uint8_t scsiStatus;
        std::uint8_t status;
        CommandCategory category;
    } cases[] = {
        {{}, kScsiStatusGood, kCommandSuccess, CommandCategory::AnsweredGood},
        {{}, kScsiStatusCheckCondition, 2, CommandCategory::AnsweredCheckCondition},
        {{}, kScsiStatusBusy, 8, CommandCategory::AnsweredOtherStatus},
        {{PlatformErrorKind::TimedOut, 121},
         0,
         kCommandSuccess,
         CommandCategory::ToleratedPlatformError},
        {{PlatformErrorKind::Other, 5, "/dev/sr0: command 00 failed with host status DID_ERROR."},
         0,
         0,
         CommandCategory::OtherPlatformError},
        {{PlatformErrorKind::Other, kOsErrorDeviceGone}, 0, 0, CommandCategory::NoDevice},
        {StatusFailure(sg_status::kHostNoConnect), 0, 0, CommandCategory::NoDevice},
        {StatusFailure(sg_status::kHostBadTarget), 0, 0, CommandCategory::NoDevice},
    };
    for (const auto& c : cases) {
        platform.passThrough.replies.push_back({c.error, c.scsiStatus, {2, 4, 7}});
        EXPECT_EQ(atapi->TestUnitReady(), c.status);
        const CommandOutcome& outcome = atapi->LastOutcome();
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.category, c.category);
        EXPECT_EQ(outcome.platformError.code, c.error.code);
        EXPECT_EQ(outcome.sense.targetStatus, c.scsiStatus);
    }
    ASSERT_GE(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0], "/dev/sr0: command 00 failed with host status DID_ERROR.\n");
}

TEST_F(PassThroughTransport, SameErrorInARowIsShownOnceUntilADriveAnswers) {
    for (int i = 0; i < 3; ++i) {
        platform.passThrough.replies.push_back({{PlatformErrorKind::Other, 1167}, 0, {}});
    }
    platform.passThrough.replies.push_back({{PlatformErrorKind::Other, 5}, 0, {}});
    platform.passThrough.replies.push_back({{}, 0, {}});
    platform.passThrough.replies.push_back({{PlatformErrorKind::Other, 5}, 0, {}});
    for (int i = 0; i < 6; ++i) {
        atapi->TestUnitReady();
    }
    // 1167 once for three polls, 5 once, then 5 again after a command that was answered.
    EXPECT_EQ(services.messages.size(), 3u);
    EXPECT_FALSE(atapi->LastOutcome().Answered());
}

// Adapter and driver statuses that mean the same trouble count as one failure for the
// once-only message, and a drive that went away is one failure however it was reported.
TEST_F(PassThroughTransport, FailuresOfTheSameMeaningAreShownOnce) {
    const struct {
        const char* name;
        std::vector<PlatformError> errors;
        std::size_t messages;
    } cases[] = {
        {"DriveGone",
         {StatusFailure(sg_status::kHostNoConnect),
          {PlatformErrorKind::Other, kOsErrorDeviceGone},
          StatusFailure(sg_status::kHostBadTarget)},
         1},
        {"LinkTrouble", {StatusFailure(0x07), StatusFailure(0x06), StatusFailure(0, 0x24)}, 1},
        {"Busy", {StatusFailure(sg_status::kHostBusBusy), StatusFailure(0, 0x01)}, 1},
        {"EachItsOwn",
         {StatusFailure(sg_status::kHostAbort), StatusFailure(sg_status::kHostReset),
          StatusFailure(sg_status::kHostBusBusy), StatusFailure(sg_status::kHostError)},
         4},
        {"ErrorNumberAndStatus", {{PlatformErrorKind::Other, 5}, StatusFailure(0x07)}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        atapi->BeginUserAction();
        services.messages.clear();
        for (const PlatformError& error : c.errors) {
            platform.passThrough.replies.push_back({error, 0, {}});
            EXPECT_EQ(atapi->TestUnitReady(), 0);
            EXPECT_EQ(atapi->LastOutcome().platformError.hostStatus, error.hostStatus);
            EXPECT_EQ(atapi->LastOutcome().platformError.driverStatus, error.driverStatus);
        }
        EXPECT_EQ(services.messages.size(), c.messages);
    }
}

// What the platform wrote back lands in the outcome once the call went through; a call that
// failed says nothing of it. The duration is the transport's clock across the call.
TEST_F(PassThroughTransport, OutcomeKeepsTheResidualSenseLengthAndDuration) {
    const struct {
        const char* name;
        ScriptedPassThrough::Reply reply;
        std::optional<std::uint32_t> residual;
        std::optional<std::uint8_t> senseLength;
    } cases[] = {
        {"ShortRead", {{}, kScsiStatusGood, {}, 28, 0, 7}, 28, 0},
        {"CheckCondition", {{}, kScsiStatusCheckCondition, {5, 0x24, 0}, 64, 18, 3}, 64, 18},
        {"AdapterFailure", {StatusFailure(0x07), 0, {}, 64, 0, 12}, 64, 0},
        {"TimedOutCall", {{PlatformErrorKind::TimedOut, 121}, 0, {}, 0, 0, 20000}, {}, {}},
        {"FailedCall", {{PlatformErrorKind::Other, 5}, 0, {}, 0, 0, 1}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform.passThrough.replies.push_back(c.reply);
        atapi->ExecCommand(cdb, buffer, 64, kDirectionIn);
        const CommandOutcome& outcome = atapi->LastOutcome();
        EXPECT_EQ(outcome.residual, c.residual);
        EXPECT_EQ(outcome.senseLength, c.senseLength);
        EXPECT_EQ(outcome.durationMs, c.reply.takesMs);
    }
}

TEST_F(PassThroughTransport, UnformattableErrorShowsTheFormatFailure) {
    platform.passThrough.formatter = [](std::uint32_t, std::string&, std::uint32_t& lastError) {
        lastError = 317;
        return false;
    };
    platform.passThrough.replies.push_back({{PlatformErrorKind::Other, 99999}, 0, {}});
    EXPECT_EQ(atapi->TestUnitReady(), 0);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0], "Format message failed.  Error: 317\n");
}

TEST_F(PassThroughTransport, SenseIsClearedBeforeEveryCommand) {
    platform.passThrough.replies.push_back({{}, kScsiStatusCheckCondition, {5, 0x1A, 0}});
    EXPECT_EQ(atapi->TestUnitReady(), kScsiStatusCheckCondition);
    SenseBytes sense = atapi->LastOutcome().sense;
    EXPECT_EQ(sense.senseKey, 5);
    EXPECT_EQ(sense.asc, 0x1A);
    EXPECT_EQ(sense.targetStatus, kScsiStatusCheckCondition);

    EXPECT_EQ(atapi->TestUnitReady(), kCommandSuccess);
    sense = atapi->LastOutcome().sense;
    EXPECT_EQ(sense.senseKey, 0);
    EXPECT_EQ(sense.asc, 0);
    EXPECT_EQ(sense.ascq, 0);
    EXPECT_EQ(sense.targetStatus, 0);
}

TEST_F(PassThroughTransport, WholeSenseKeyByteIsKeptUnmasked) {
    platform.passThrough.replies.push_back({{}, kScsiStatusCheckCondition, {0x85, 0x24, 0x01}});
    atapi->TestUnitReady();
    EXPECT_EQ(atapi->LastOutcome().sense.senseKey, 0x85);
    EXPECT_EQ(atapi->LastOutcome().sense.ascq, 0x01);
}

}  // namespace
}  // namespace troz::test
