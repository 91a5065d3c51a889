#include <gtest/gtest.h>

#include "drive/atapi.h"
#include "drive/bytes.h"
#include "tests/support/drive_fakes.h"

namespace troz::test {
namespace {

class AspiTransport : public FakeDriveTest {
protected:
    AspiTransport() {
        platform.platformId = kVerPlatformWin32Windows;
        platform.aspi.clock = &clock;
        platform.aspi.hostAdapterCount = 2;
        platform.aspi.deviceType = [](int hostAdapter, int target, int lun) {
            return hostAdapter == 1 && target == 3 && lun == 0 ? 5 : -1;
        };
    }
    void Start() {
        FakeDriveTest::Start();
        platform.aspi.executeRequests.clear();
        platform.aspi.closedEvents.clear();
    }
    const std::vector<std::uint8_t>& LastRequest() const {
        return platform.aspi.executeRequests.back();
    }

    const std::uint8_t cdb[12] = {0x5A, 0, 0x38, 0x54, 0x52, 0xA0, 5, 1, 0, 4, 0, 0};
    std::uint8_t buffer[8] = {};
};

TEST_F(AspiTransport, LibraryIsLoadedFromTheSystemDirectory) {
    Start();
    ASSERT_EQ(platform.aspi.loadedPaths.size(), 1u);
    EXPECT_EQ(platform.aspi.loadedPaths[0], "C:\\WINDOWS\\SYSTEM\\WNASPI32.DLL");
    EXPECT_FALSE(atapi->NtFlag());
    EXPECT_EQ(atapi->DriveCount(), 1);
}

TEST_F(AspiTransport, RequestBlockCarriesAddressFlagsAndCdb) {
    Start();
    const std::uint8_t directions[] = {kDirectionIn, kDirectionOut, kDirectionNone};
    const std::uint8_t flags[] = {0x48, 0x50, 0x40};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(atapi->ExecCommand(cdb, buffer, 4, directions[i]), aspi::kSsComp);
        const std::vector<std::uint8_t>& request = LastRequest();
        EXPECT_EQ(request[aspi::kCommand], aspi::kScExecScsiCmd);
        EXPECT_EQ(request[aspi::kHostAdapter], 1);
        EXPECT_EQ(request[aspi::kFlags], flags[i]);
        EXPECT_EQ(request[aspi::exec::kTarget], 3);
        EXPECT_EQ(request[aspi::exec::kLun], 0);
        EXPECT_EQ(GetNative<std::uint32_t>(request.data() + aspi::exec::kBufferLength), 4u);
        EXPECT_EQ(GetPointer(request.data() + aspi::exec::kBufferPointer), buffer);
        EXPECT_EQ(request[aspi::exec::kSenseLengthField], 14);
        EXPECT_EQ(request[aspi::exec::kCdbLength], 12);
        EXPECT_NE(GetPointer(request.data() + aspi::exec::kPostProc), nullptr);
        EXPECT_TRUE(std::equal(cdb, cdb + 12, request.begin() + aspi::exec::kCdb));
    }
    EXPECT_EQ(atapi->ExecCommand(cdb, nullptr, 0, kDirectionNone), aspi::kSsComp);
    EXPECT_EQ(LastRequest()[aspi::kFlags], 0x40);
    EXPECT_EQ(GetNative<std::uint32_t>(LastRequest().data() + aspi::exec::kBufferLength), 0u);
}

TEST_F(AspiTransport, CompletionAtOnceReturnsWithoutWaiting) {
    Start();
    platform.aspi.executeStatus = aspi::kSsErr;
    platform.aspi.targetStatus = kScsiStatusCheckCondition;
    platform.aspi.sense = {5, 0x1A, 0};
    EXPECT_EQ(atapi->ExecCommand(cdb, buffer, 4, kDirectionOut), aspi::kSsErr);
    EXPECT_TRUE(platform.aspi.waits.empty());
    EXPECT_EQ(platform.aspi.closedEvents.size(), 1u);
    const SenseBytes sense = atapi->LastOutcome().sense;
    EXPECT_EQ(sense.senseKey, 5);
    EXPECT_EQ(sense.asc, 0x1A);
    EXPECT_EQ(sense.ascq, 0);
    EXPECT_EQ(sense.targetStatus, kScsiStatusCheckCondition);
}

TEST_F(AspiTransport, CompletionLaterIsWaitedForThroughTheEvent) {
    Start();
    platform.aspi.completion = ScriptedAspi::Completion::OnWait;
    EXPECT_EQ(atapi->ExecCommand(cdb, buffer, 4, kDirectionOut), aspi::kSsComp);
    ASSERT_EQ(platform.aspi.waits.size(), 1u);
    EXPECT_EQ(platform.aspi.waits[0], 30000u);
    EXPECT_EQ(platform.aspi.closedEvents.size(), 1u);
    EXPECT_TRUE(platform.aspi.aborted.empty());
}

TEST_F(AspiTransport, RequestPendingAfter30SecondsIsAbortedOnceAndGivesFour) {
    Start();
    platform.aspi.completion = ScriptedAspi::Completion::Never;
    const std::uint64_t before = clock.Now();
    EXPECT_EQ(atapi->ExecCommand(cdb, buffer, 4, kDirectionOut), 4);
    EXPECT_EQ(clock.Now() - before, 30000u);
    // The wait is the command's duration; ASPI tells no residual and no sense length.
    EXPECT_EQ(atapi->LastOutcome().durationMs, 30000u);
    EXPECT_FALSE(atapi->LastOutcome().residual.has_value());
    EXPECT_FALSE(atapi->LastOutcome().senseLength.has_value());
    ASSERT_EQ(platform.aspi.aborted.size(), 1u);
    EXPECT_EQ(platform.aspi.abortHostAdapters[0], 1);
    EXPECT_EQ(platform.aspi.closedEvents.size(), 1u);
}

TEST_F(AspiTransport, NoEventMeansNothingIsSent) {
    Start();
    platform.aspi.eventCreationFails = true;
    EXPECT_EQ(atapi->ExecCommand(cdb, buffer, 4, kDirectionOut), 4);
    EXPECT_TRUE(platform.aspi.executeRequests.empty());
}

TEST_F(AspiTransport, SenseOfAnEarlierRefusalDoesNotOutliveTheNextCommand) {
    Start();
    platform.aspi.executeStatus = aspi::kSsErr;
    platform.aspi.sense = {5, 0x24, 0};
    atapi->TestUnitReady();
    EXPECT_EQ(atapi->LastOutcome().sense.senseKey, 5);
    platform.aspi.executeStatus = aspi::kSsComp;
    platform.aspi.sense = {};
    EXPECT_EQ(atapi->TestUnitReady(), aspi::kSsComp);
    EXPECT_EQ(atapi->LastOutcome().sense.senseKey, 0);
    EXPECT_EQ(atapi->LastOutcome().sense.asc, 0);
}

TEST_F(AspiTransport, MissingLibraryIsReportedAndLeavesNoDrives) {
    platform.aspi.libraryPresent = false;
    Start();
    EXPECT_EQ(services.messages, std::vector<std::string>{"WNASPI32.DLL not found"});
    EXPECT_EQ(atapi->DriveCount(), 0);
    EXPECT_TRUE(platform.aspi.deviceTypeRequests.empty());
    EXPECT_EQ(atapi->ExecCommand(cdb, nullptr, 0, kDirectionNone), 4);
}

TEST_F(AspiTransport, LibraryWithoutEntryPointsIsReleasedAndNeverCalled) {
    platform.aspi.entryPointsPresent = false;
    Start();
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_NE(services.messages[0].find("WNASPI32.DLL"), std::string::npos);
    EXPECT_EQ(platform.aspi.freed.size(), 1u);
    EXPECT_EQ(atapi->DriveCount(), 0);
    EXPECT_FALSE(atapi->AspiLoaded());
}

TEST_F(AspiTransport, OverlongSystemDirectoryNeverOverflowsAndCountsAsMissing) {
    platform.aspi.systemDirectory = std::string(400, 'D');
    Start();
    EXPECT_TRUE(platform.aspi.loadedPaths.empty());
    EXPECT_EQ(services.messages, std::vector<std::string>{"WNASPI32.DLL not found"});
}

TEST_F(AspiTransport, SystemDirectoryLongerThanFiftyCharactersStillFindsTheLibrary) {
    platform.aspi.systemDirectory = "C:\\" + std::string(120, 'W');
    Start();
    ASSERT_EQ(platform.aspi.loadedPaths.size(), 1u);
    EXPECT_EQ(platform.aspi.loadedPaths[0], platform.aspi.systemDirectory + "\\WNASPI32.DLL");
}

TEST_F(AspiTransport, ReleaseFreesTheLibraryOnce) {
    Start();
    atapi.reset();
    EXPECT_EQ(platform.aspi.freed.size(), 1u);
}

}  // namespace
}  // namespace troz::test
