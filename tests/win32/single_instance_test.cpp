// The named mutex "MyAPP" between copies of a program under wine: the one that finds it
// already there ends at once with exit code 0, and the name goes with the copy that made it.
#include <gtest/gtest.h>

#include "tests/win32/child_process.h"

namespace troz::test {
namespace {

constexpr std::uint32_t kProgramTimeoutMs = 20000;

class SingleInstance : public ::testing::Test {
protected:
    const std::string probe = WindowsPath(TROZ_SINGLE_INSTANCE_PROBE);

    ChildResult RunCopy() { return RunProgram(probe, "check", kProgramTimeoutMs); }

    void StartHolder(ChildProcess& holder) {
        ASSERT_TRUE(holder.Start(probe, "hold"));
        ASSERT_TRUE(holder.WaitForOutput("first instance", kProgramTimeoutMs));
    }
};

TEST_F(SingleInstance, SecondCopyEndsWithExitCodeZeroWhileTheFirstRuns) {
    ChildProcess first;
    StartHolder(first);

    const ChildResult second = RunCopy();
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0u);
    EXPECT_EQ(WithoutCarriageReturns(second.output), "already running\n");

    const ChildResult firstEnd = first.Finish(kProgramTimeoutMs);
    ASSERT_TRUE(firstEnd.finished);
    EXPECT_EQ(firstEnd.exitCode, 0u);
}

TEST_F(SingleInstance, CopyStartedAfterTheFirstEndedRunsAsTheFirst) {
    {
        ChildProcess first;
        StartHolder(first);
        ASSERT_TRUE(first.Finish(kProgramTimeoutMs).finished);
    }
    const ChildResult next = RunCopy();
    ASSERT_TRUE(next.finished);
    EXPECT_EQ(WithoutCarriageReturns(next.output), "first instance\n");
}

TEST_F(SingleInstance, KilledFirstCopyLeavesNoMarkBehind) {
    {
        ChildProcess first;
        StartHolder(first);
        first.Kill();
    }
    const ChildResult next = RunCopy();
    ASSERT_TRUE(next.finished);
    EXPECT_EQ(WithoutCarriageReturns(next.output), "first instance\n");
}

}  // namespace
}  // namespace troz::test
