#include <gtest/gtest.h>

#include <string>

#include "drive/atapi.h"
#include "tests/support/drive_fakes.h"

namespace troz::test {
namespace {

constexpr int kLetterE = 4;

class NtDiscovery : public FakeDriveTest {
protected:
    NtDiscovery() {
        for (int i = 0; i < 8; ++i) {
            drives[i].product = "DRIVE-" + std::to_string(i);
        }
    }
    ScriptedDrive drives[8];
};

TEST_F(NtDiscovery, DrivesAreListedInLetterOrderAndTheFirstIsCurrent) {
    for (int i = 0; i < 3; ++i) {
        platform.passThrough.drives[kLetterE + i] = &drives[i];
    }
    Start();
    ASSERT_EQ(atapi->DriveCount(), 3);
    EXPECT_STREQ(atapi->Entry(0).identification, "TROZ    DRIVE-0         ");
    EXPECT_STREQ(atapi->Entry(0).revision, "1.00");
    EXPECT_STREQ(atapi->Entry(2).identification, "TROZ    DRIVE-2         ");
    EXPECT_EQ(atapi->Location(0), "\\\\.\\E:");
    EXPECT_EQ(atapi->Location(2), "\\\\.\\G:");
    EXPECT_EQ(atapi->CurrentHandle(), atapi->Entry(0).handle);
    EXPECT_EQ(atapi->Entry(1).hostAdapterId, 0);
}

TEST_F(NtDiscovery, SixDrivesListFourAndEntryFourHoldsTheSixth) {
    for (int i = 0; i < 6; ++i) {
        platform.passThrough.drives[kLetterE + i] = &drives[i];
    }
    Start();
    EXPECT_EQ(atapi->DriveCount(), 4);
    EXPECT_STREQ(atapi->Entry(3).identification, "TROZ    DRIVE-3         ");
    EXPECT_STREQ(atapi->Entry(4).identification, "TROZ    DRIVE-5         ");
    EXPECT_EQ(platform.passThrough.opened.size(), 6u);
    // Every INQUIRY went out, the fifth and sixth drives' too.
    EXPECT_EQ(platform.passThrough.sent.size(), 6u);
}

TEST_F(NtDiscovery, LetterZIsNeverProbedAndYIs) {
    platform.passThrough.drives[24] = &drives[0];
    Start();
    EXPECT_EQ(atapi->DriveCount(), 1);
    EXPECT_EQ(atapi->Location(0), "\\\\.\\Y:");
    EXPECT_EQ(PassThroughBackend::kCandidateCount, 25);
}

TEST_F(NtDiscovery, DriveThatDoesNotOpenIsSkippedSilently) {
    platform.passThrough.drives[kLetterE] = &drives[0];
    platform.passThrough.drives[kLetterE + 1] = &drives[1];
    platform.passThrough.openFails[kLetterE] = true;
    Start();
    ASSERT_EQ(atapi->DriveCount(), 1);
    EXPECT_STREQ(atapi->Entry(0).identification, "TROZ    DRIVE-1         ");
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(NtDiscovery, FailingInquiryStillRecordsTheDriveWithEmptyNames) {
    drives[0].inquiryFails = true;
    platform.passThrough.drives[kLetterE] = &drives[0];
    Start();
    ASSERT_EQ(atapi->DriveCount(), 1);
    EXPECT_STREQ(atapi->Entry(0).identification, "");
    EXPECT_STREQ(atapi->Entry(0).revision, "");
}

TEST_F(NtDiscovery, NoDrivesLeavesAnAllZeroTarget) {
    Start();
    EXPECT_EQ(atapi->DriveCount(), 0);
    EXPECT_EQ(atapi->CurrentHandle(), 0);
}

TEST_F(NtDiscovery, SelectDeviceMovesTheTargetOfLaterCommands) {
    for (int i = 0; i < 3; ++i) {
        platform.passThrough.drives[kLetterE + i] = &drives[i];
    }
    Start();
    atapi->SelectDevice(2);
    atapi->TestUnitReady();
    EXPECT_EQ(platform.passThrough.sent.back().handle, atapi->Entry(2).handle);
    atapi->SelectDevice(0);
    atapi->TestUnitReady();
    EXPECT_EQ(platform.passThrough.sent.back().handle, atapi->Entry(0).handle);
}

TEST_F(NtDiscovery, ReleaseClosesEveryHandleTheScanOpened) {
    for (int i = 0; i < 6; ++i) {
        platform.passThrough.drives[kLetterE + i] = &drives[i];
    }
    Start();
    atapi.reset();
    EXPECT_EQ(platform.passThrough.closed.size(), 6u);
}

class AspiDiscovery : public FakeDriveTest {
protected:
    AspiDiscovery() {
        platform.platformId = kVerPlatformWin32Windows;
        platform.aspi.clock = &clock;
    }
};

TEST_F(AspiDiscovery, OneAdapterIsAskedForAllSixtyFourAddressesInOrder) {
    Start();
    const auto& requests = platform.aspi.deviceTypeRequests;
    ASSERT_EQ(requests.size(), 64u);
    EXPECT_EQ(requests[0], (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(requests[1], (std::array<int, 3>{0, 0, 1}));
    EXPECT_EQ(requests[8], (std::array<int, 3>{0, 1, 0}));
    EXPECT_EQ(requests[63], (std::array<int, 3>{0, 7, 7}));
}

TEST_F(AspiDiscovery, LowerHostAdapterComesFirstAndOnlyCdromsCount) {
    platform.aspi.hostAdapterCount = 2;
    platform.aspi.deviceType = [](int hostAdapter, int target, int lun) {
        if (hostAdapter == 1 && (target == 2 || target == 5) && lun == 0) return 5;
        if (hostAdapter == 0 && target == 6 && lun == 1) return 5;
        if (hostAdapter == 0 && target == 0) return 0;  // a disk
        return -1;
    };
    Start();
    ASSERT_EQ(atapi->DriveCount(), 3);
    EXPECT_EQ(atapi->Entry(0).hostAdapterId, 0);
    EXPECT_EQ(atapi->Entry(0).targetId, 6);
    EXPECT_EQ(atapi->Entry(0).lun, 1);
    EXPECT_EQ(atapi->Entry(1).targetId, 2);
    EXPECT_EQ(atapi->Entry(2).targetId, 5);
    EXPECT_EQ(atapi->Entry(0).handle, 0);
    EXPECT_EQ(atapi->CurrentTargetId(), 6);
    EXPECT_EQ(atapi->CurrentLun(), 1);
    EXPECT_EQ(atapi->Location(1), "ha 1 target 2 lun 0");
    EXPECT_STREQ(atapi->Entry(2).identification, "TROZ    KVW-A100A       ");
}

TEST_F(AspiDiscovery, ScanNeverWritesPastTheTwentyEntryTable) {
    platform.aspi.hostAdapterCount = 3;
    platform.aspi.deviceType = [](int, int, int) { return 5; };
    Start();
    EXPECT_EQ(atapi->DriveCount(), kDeviceTableSize);
    EXPECT_EQ(platform.aspi.deviceTypeRequests.size(), 20u);
}

TEST_F(AspiDiscovery, PendingRequestsArePumpedUntilTheyComplete) {
    platform.aspi.deviceTypePendingPumps = 3;
    platform.aspi.deviceType = [](int, int target, int lun) {
        return target == 1 && lun == 0 ? 5 : -1;
    };
    Start();
    EXPECT_EQ(atapi->DriveCount(), 1);
    EXPECT_EQ(platform.pumps, 64 * 3);
}

TEST_F(AspiDiscovery, RequestThatNeverCompletesIsGivenUpAndAborted) {
    platform.aspi.deviceTypeNeverCompletes = true;
    platform.aspi.deviceType = [](int, int, int) { return 5; };
    Start();
    EXPECT_EQ(atapi->DriveCount(), 0);
    EXPECT_EQ(platform.aspi.aborted.size(), 64u);
}

TEST_F(AspiDiscovery, SelectDeviceMovesTheAddressOfLaterCommands) {
    platform.aspi.deviceType = [](int, int target, int lun) {
        return lun == 0 && target < 3 ? 5 : -1;
    };
    Start();
    platform.aspi.executeRequests.clear();
    atapi->SelectDevice(2);
    atapi->TestUnitReady();
    EXPECT_EQ(platform.aspi.executeRequests.back()[aspi::exec::kTarget], 2);
    atapi->SelectDevice(0);
    atapi->TestUnitReady();
    EXPECT_EQ(platform.aspi.executeRequests.back()[aspi::exec::kTarget], 0);
}

}  // namespace
}  // namespace troz::test
