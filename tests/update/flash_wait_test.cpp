// The completion wait: what ends it, when it gives up, and which answers do not count as
// the drive having come back.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/flash_rig.h"

namespace troz::test {
namespace {

constexpr std::uint32_t kWrapMargin = 60000;

class CompletionWait : public FlashTest {
protected:
    std::size_t Polls(const FlashRig& rig) const {
        return rig.Commands().size() - rig.FirstPollIndex();
    }
    // The time-out lines for a trigger answered GOOD and a drive still programming.
    std::vector<std::string> TimeOutLines() const {
        return {Nt() ? "Time Out Status:1;Debug:Trigger_SenseCode:2 : 4 : 1;"
                     : "Time Out Status:2;Status:1;Debug:Trigger_SenseCode:2 : 4 : 1;",
                "Err:Flash error,time out 120 Sec"};
    }
};

TEST_P(CompletionWait, PollsBackToBackUntilReadyDispatchingEventsInTheDirectProcedure) {
    auto rig = MakeRig(RigConfig(Personality::Direct));
    ASSERT_TRUE(rig->Driver().DirectDownload());
    const auto& commands = rig->Commands();
    const std::size_t first = rig->FirstPollIndex();
    for (std::size_t i = first; i < commands.size(); ++i) {
        EXPECT_EQ(CdbText(commands[i]), "00 00 00 00 00 00 00 00 00 00 00 00");
        EXPECT_EQ(rig->PauseBefore(i), 0u);
    }
    // Programming, then the unit attention of the restart, then ready, then the one more poll.
    EXPECT_EQ(Polls(*rig), kRigProgrammingMs / kRigLatencyMs + 2);
    EXPECT_EQ(rig->window.dispatchCount, static_cast<int>(Polls(*rig)) - 2);
    EXPECT_TRUE(rig->DriveProgrammed());
}

TEST_P(CompletionWait, MediumNotPresentEndsItWithAnyQualifier) {
    for (const std::uint8_t ascq : {0x00, 0x01, 0x7F}) {
        auto rig = MakeRig(RigConfig(Personality::Direct));
        rig->drive.InjectFault(
            CommandFault::CheckCondition({2, 0x3A, ascq}).OnOpcode(kOpTestUnitReady));
        EXPECT_TRUE(rig->Driver().DirectDownload());
        EXPECT_EQ(Polls(*rig), 2u) << "the poll that ended the wait, then the one more";
    }
}

TEST_P(CompletionWait, OtherAnswersKeepItGoing) {
    for (const Sense sense :
         {Sense{2, 0x04, 0x00}, Sense{2, 0x3B, 0x00}, Sense{3, 0x3A, 0x00}, Sense{6, 0x3A, 0x00}}) {
        auto rig = MakeRig(RigConfig(Personality::Direct));
        rig->drive.InjectFault(
            CommandFault::CheckCondition(sense).OnOpcode(kOpTestUnitReady).Times(50));
        EXPECT_TRUE(rig->Driver().DirectDownload());
        // The injected answers, the unit attention of the restart, ready, the one more poll.
        EXPECT_EQ(Polls(*rig), 53u);
    }
}

TEST_P(CompletionWait, MediumNotPresentAfterProgrammingIsBack) {
    auto rig = MakeRig(RigConfig(Personality::ComesBackWithoutMedium));
    ASSERT_TRUE(rig->Flash());
    EXPECT_TRUE(rig->DriveProgrammed());
}

// With 7 ms per poll the wait gives up at the poll that brings it to 121.002 s; the one
// before it, at 120.995 s, still counts as 120 whole seconds.
TEST_P(CompletionWait, GivesUpAfter121WholeSecondsAndReports120) {
    for (const std::uint32_t startTick : {0u, 0xFFFFFFFFu - kWrapMargin}) {
        VirtualDriveConfig config = RigConfig(Personality::NeverComesBack);
        config.commandLatencyMs = 7;
        auto rig = MakeRig(config, startTick);
        EXPECT_FALSE(rig->Driver().DirectDownload());
        EXPECT_EQ(rig->window.lines, TimeOutLines()) << "start tick " << startTick;
        EXPECT_EQ(Polls(*rig), 17286u) << "start tick " << startTick;
        const auto& commands = rig->Commands();
        EXPECT_EQ(commands.back().tick - commands[rig->FirstPollIndex()].tick, 17285u * 7);
    }
}

TEST_P(CompletionWait, BufferedProcedureTimesOutWithoutDispatching) {
    VirtualDriveConfig config = RigConfig(Personality::BufferedResend);
    config.programmingNeverEnds = true;
    auto rig = MakeRig(config);
    EXPECT_FALSE(rig->Driver().BufferedDownload());
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{
                  Nt() ? "Time Out Status:2;Debug:Trigger_SenseCode:2 : 4 : 1;"
                       : "Time Out Status:2;Status:4;Debug:Trigger_SenseCode:2 : 4 : 1;",
                  "Err:Flash error,time out 120 Sec"}));
    EXPECT_EQ(rig->window.dispatchCount, 0);
}

TEST_P(CompletionWait, DriveComingBackAcrossTheTickWrapIsSeen) {
    // The trigger goes out just before the tick count wraps; programming ends after it.
    auto rig = MakeRig(RigConfig(Personality::Direct), 0xFFFFFFFFu - 2100);
    ASSERT_TRUE(rig->Driver().DirectDownload());
    EXPECT_LT(rig->Commands().back().tick, 1000u);
    EXPECT_EQ(Polls(*rig), kRigProgrammingMs / kRigLatencyMs + 2);
    EXPECT_TRUE(rig->DriveProgrammed());
}

// A poll that the pass-through transport "succeeded" only because it tolerated a time-out
// or an I/O error was never answered by the drive: a drive still programming is not back.
TEST_P(CompletionWait, PollWithoutAnswerDoesNotCountAsBack) {
    for (const TransportFault fault : {TransportFault::TimedOut, TransportFault::IoError}) {
        auto rig = MakeRig(RigConfig(Personality::Direct));
        rig->drive.InjectFault(CommandFault::Transport(fault).OnOpcode(kOpTestUnitReady).Times(3));
        EXPECT_TRUE(rig->Driver().DirectDownload());
        EXPECT_TRUE(rig->window.lines.empty());
        EXPECT_TRUE(rig->DriveProgrammed());
        EXPECT_GT(rig->CommandsWithOpcode(kOpTestUnitReady).size(), 3u);
    }
}

TEST_P(CompletionWait, DriveThatNeverAnswersAPollTimesOut) {
    VirtualDriveConfig config = RigConfig(Personality::Direct);
    config.commandLatencyMs = 1000;
    auto rig = MakeRig(config);
    rig->drive.InjectFault(
        CommandFault::Transport(TransportFault::IoError).OnOpcode(kOpTestUnitReady).Times(0));
    EXPECT_FALSE(rig->Driver().DirectDownload());
    const std::string timeOut =
        Nt() ? "Time Out Status:1;Debug:Trigger_SenseCode:0 : 0 : 0;"
             : "Time Out Status:0;Status:1;Debug:Trigger_SenseCode:0 : 0 : 0;";
    EXPECT_EQ(rig->window.lines,
              (std::vector<std::string>{timeOut, "Err:Flash error,time out 120 Sec"}));
}

TEST_P(CompletionWait, DriveThatGoesAwayWhileProgrammingTimesOutWithoutSpinning) {
    VirtualDriveConfig config = RigConfig(Personality::Direct);
    config.programmingNeverEnds = true;
    auto rig = MakeRig(config);
    rig->drive.InjectFault(
        CommandFault::Transport(TransportFault::Gone).OnOpcode(kOpTestUnitReady));
    EXPECT_FALSE(rig->Driver().DirectDownload());
    EXPECT_EQ(rig->window.lines.back(), "Err:Flash error,time out 120 Sec");
    // The unanswered polls are spaced out: about ten a second, not as many as the CPU can.
    EXPECT_LT(rig->CommandsWithOpcode(kOpTestUnitReady).size(), 1300u);
    // On the pass-through transport the system's text for the lost device shows once.
    EXPECT_LE(rig->services.messages.size(), 1u);
}

// A trigger that only the transport answered may never have reached the drive. Ready
// answers count only once the drive has been seen busy.
TEST_P(CompletionWait, TriggerThatNeverReachedTheDriveIsNoSuccess) {
    for (const TransportFault fault : {TransportFault::TimedOut, TransportFault::IoError}) {
        auto rig = MakeRig(RigConfig(Personality::Direct));
        rig->drive.InjectFault(CommandFault::Transport(fault).OnOpcode(kOpVendor).AtOccurrence(3));
        EXPECT_FALSE(rig->Driver().DirectDownload());
        ASSERT_EQ(rig->window.lines.size(), 2u);
        EXPECT_EQ(rig->window.lines[1], "Err:Flash error,time out 120 Sec");
        EXPECT_EQ(rig->drive.ProgramCount(), 0);
    }
}

TEST_P(CompletionWait, TriggerAnsweredBusyWithoutSenseIsNoSuccess) {
    auto rig = MakeRig(RigConfig(Personality::Direct));
    CommandFault busy =
        CommandFault::CheckCondition(kSenseNone).OnOpcode(kOpVendor).AtOccurrence(3);
    busy.scsiStatus = kScsiStatusBusy;
    rig->drive.InjectFault(busy);
    EXPECT_FALSE(rig->Driver().DirectDownload());
    ASSERT_EQ(rig->window.lines.size(), 2u);
    EXPECT_EQ(rig->window.lines[0].rfind("Time Out Status:", 0), 0u) << rig->window.lines[0];
    EXPECT_EQ(rig->drive.ProgramCount(), 0);
}

TEST_P(CompletionWait, TriggerWhoseAnswerWasLostCountsOnceTheDriveWasBusy) {
    auto rig = MakeRig(RigConfig(Personality::Direct));
    rig->link.loseAnswerOf = [](const std::uint8_t* cdb) {
        return cdb[0] == kOpVendor && cdb[7] >= 0xE0;
    };
    EXPECT_TRUE(rig->Driver().DirectDownload());
    EXPECT_TRUE(rig->window.lines.empty());
    EXPECT_TRUE(rig->DriveProgrammed());
}

INSTANTIATE_TEST_SUITE_P(Transports, CompletionWait,
                         ::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
                         TransportTestName);

}  // namespace
}  // namespace troz::test
