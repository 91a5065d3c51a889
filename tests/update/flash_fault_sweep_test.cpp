// A fault at every command of a flash, for each procedure and transport: the run reports
// success only when the drive really runs the new image, and every failure leaves a line.
#include <gtest/gtest.h>

#include "tests/support/flash_rig.h"

namespace troz::test {
namespace {

// Slow commands keep the number of polls, and so the number of runs, small.
constexpr std::uint32_t kSweepLatencyMs = 100;
constexpr std::uint32_t kSweepProgrammingMs = 300;

enum class FaultKind { MediumError, Busy, TimedOut, IoError };

constexpr FaultKind kFaultKinds[] = {FaultKind::MediumError, FaultKind::Busy, FaultKind::TimedOut,
                                     FaultKind::IoError};

const char* FaultName(FaultKind kind) {
    switch (kind) {
        case FaultKind::MediumError:
            return "CHECK CONDITION 3/00/00";
        case FaultKind::Busy:
            return "BUSY";
        case FaultKind::TimedOut:
            return "time-out";
        case FaultKind::IoError:
            return "I/O error";
    }
    return "?";
}

CommandFault FaultAt(FaultKind kind, std::uint32_t command) {
    CommandFault fault = CommandFault::CheckCondition({kSenseMediumError, 0, 0});
    switch (kind) {
        case FaultKind::MediumError:
            break;
        case FaultKind::Busy:
            fault = CommandFault::CheckCondition(kSenseNone);
            fault.scsiStatus = kScsiStatusBusy;
            break;
        case FaultKind::TimedOut:
            fault = CommandFault::Transport(TransportFault::TimedOut);
            break;
        case FaultKind::IoError:
            fault = CommandFault::Transport(TransportFault::IoError);
            break;
    }
    return fault.AtOccurrence(command);
}

struct SweepCase {
    const char* name;
    Personality personality;
    VirtualTransport transport;
};

void PrintTo(const SweepCase& test, std::ostream* out) {
    *out << test.name;
}

class FaultSweep : public ::testing::TestWithParam<SweepCase> {
protected:
    std::unique_ptr<FlashRig> MakeRig() const {
        VirtualDriveConfig config = RigConfig(GetParam().personality);
        config.commandLatencyMs = kSweepLatencyMs;
        config.programmingMs = kSweepProgrammingMs;
        auto rig = std::make_unique<FlashRig>(GetParam().transport, config);
        rig->UseImage(PatternImage({3000, 20000}));
        return rig;
    }
};

TEST_P(FaultSweep, NoFaultEndsInAFalseSuccessOrWithoutAReason) {
    std::size_t commandCount = 0;
    {
        auto clean = MakeRig();
        ASSERT_TRUE(clean->Flash());
        commandCount = clean->Commands().size();
    }
    for (const FaultKind kind : kFaultKinds) {
        for (std::uint32_t command = 1; command <= commandCount; ++command) {
            SCOPED_TRACE(std::string(FaultName(kind)) + " at command " + std::to_string(command));
            auto rig = MakeRig();
            rig->drive.InjectFault(FaultAt(kind, command));
            if (rig->Flash()) {
                EXPECT_TRUE(rig->DriveProgrammed());
                continue;
            }
            // "Flashing .." and at least one line that says what went wrong.
            ASSERT_GE(rig->window.lines.size(), 2u);
            EXPECT_EQ(rig->window.lines.back().rfind("Err:", 0), 0u) << rig->window.lines.back();
        }
    }
}

constexpr auto kNt = VirtualTransport::PassThrough;
constexpr auto kAspi = VirtualTransport::Aspi;

INSTANTIATE_TEST_SUITE_P(
    Procedures, FaultSweep,
    ::testing::Values(SweepCase{"DirectNt", Personality::Direct, kNt},
                      SweepCase{"DirectAspi", Personality::Direct, kAspi},
                      SweepCase{"DirectResendNt", Personality::ResendWithFunction5, kNt},
                      SweepCase{"DirectResendAspi", Personality::ResendWithFunction5, kAspi},
                      SweepCase{"DirectThirdAttemptNt", Personality::ThirdAttempt, kNt},
                      SweepCase{"DirectThirdAttemptAspi", Personality::ThirdAttempt, kAspi},
                      SweepCase{"BufferedNt", Personality::BufferedOnly, kNt},
                      SweepCase{"BufferedAspi", Personality::BufferedOnly, kAspi},
                      SweepCase{"BufferedResendNt", Personality::BufferedResend, kNt},
                      SweepCase{"BufferedResendAspi", Personality::BufferedResend, kAspi}),
    [](const ::testing::TestParamInfo<SweepCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace troz::test
