// The NT family through the real Win32 calls, under wine with its default Windows version.
// The test prefix maps D: and E: as CD-ROM drives with no device behind them: the scan opens
// both, and every pass-through call on them fails with a system error that the user sees
// with the system's own text.
#include <gtest/gtest.h>

#include <array>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// After <windows.h>: the pass-through header needs its control-code macros.
#include <ntddscsi.h>
#include <winioctl.h>

#include <memory>
#include <string>
#include <vector>

#include "drive/atapi.h"
#include "drive/system_platform.h"
#include "tests/support/drive_fakes.h"

namespace troz::test {
namespace {

constexpr DWORD kPassThroughBlockSize = 80;

// The system's text for an error code, as FormatMessageA gives it, without its CR LF.
std::string SystemText(DWORD code) {
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

// What the pass-through call answers on D: when the drive code is not involved at all.
DWORD PassThroughErrorOnDriveD() {
    const HANDLE drive =
        CreateFileA("\\\\.\\D:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (drive == INVALID_HANDLE_VALUE) {
        return 0;
    }
    unsigned char block[kPassThroughBlockSize] = {};
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(drive, IOCTL_SCSI_PASS_THROUGH_DIRECT, block, sizeof block,
                                      block, sizeof block, &returned, nullptr);
    const DWORD error = done ? 0 : GetLastError();
    CloseHandle(drive);
    return error;
}

class NtFamily : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_CDROM))
            << "the wine prefix must map D: as a CD-ROM drive (tools/wine-prefix.sh)";
        passThroughError = PassThroughErrorOnDriveD();
        ASSERT_NE(passThroughError, 0u);
        // The scan must not mistake this for the two errors it tolerates.
        ASSERT_NE(passThroughError, static_cast<DWORD>(ERROR_SEM_TIMEOUT));
        ASSERT_NE(passThroughError, static_cast<DWORD>(ERROR_IO_DEVICE));
        expectedMessage = SystemText(passThroughError) + "\n";
        ASSERT_NE(expectedMessage, "\n");
    }

    VirtualClock clock;
    RecordingServices services;
    std::unique_ptr<DrivePlatform> platform = MakeSystemDrivePlatform(services);
    DWORD passThroughError = 0;
    std::string expectedMessage;
};

TEST_F(NtFamily, DefaultWindowsVersionTakesThePassThroughTransport) {
    EXPECT_EQ(platform->VersionPlatformId(), kVerPlatformWin32Nt);
    TAtapi atapi(*platform, clock, services);
    EXPECT_TRUE(atapi.NtFlag());
    EXPECT_TRUE(atapi.IsNtFamily());
    EXPECT_FALSE(atapi.AspiLoaded());
}

TEST_F(NtFamily, ScanListsTheCdromLettersInOrderAndShowsTheFailedInquiryOnce) {
    TAtapi atapi(*platform, clock, services);

    ASSERT_EQ(atapi.DriveCount(), 2);
    EXPECT_EQ(atapi.Location(0), "\\\\.\\D:");
    EXPECT_EQ(atapi.Location(1), "\\\\.\\E:");
    // A failed INQUIRY does not keep a drive out of the table; it is listed without a name.
    for (int i = 0; i < 2; ++i) {
        EXPECT_STREQ(atapi.Entry(i).identification, "");
        EXPECT_STREQ(atapi.Entry(i).revision, "");
        EXPECT_NE(atapi.Entry(i).handle, kInvalidHandle);
    }
    EXPECT_NE(atapi.Entry(0).handle, atapi.Entry(1).handle);
    EXPECT_EQ(atapi.CurrentHandle(), atapi.Entry(0).handle);
    // E: fails as D: did; the user sees the same box only once.
    EXPECT_EQ(services.messages, std::vector<std::string>{expectedMessage});
}

TEST_F(NtFamily, CommandOnADriveWithoutDeviceReturnsZero) {
    TAtapi atapi(*platform, clock, services);

    EXPECT_EQ(atapi.TestUnitReady(), 0);
    atapi.SelectDevice(1);
    std::array<std::uint8_t, kInquiryAllocationLength> reply{};
    EXPECT_EQ(atapi.Inquiry(reply), 0);

    EXPECT_NE(atapi.LastOutcome().category, CommandCategory::ToleratedPlatformError);
    EXPECT_FALSE(atapi.LastOutcome().Answered());
    // Still the failure the scan reported: no second box for it.
    EXPECT_EQ(services.messages, std::vector<std::string>{expectedMessage});
}

TEST_F(NtFamily, SystemErrorsShowTheSystemTextWithOneLineBreak) {
    TAtapi atapi(*platform, clock, services);
    services.messages.clear();

    atapi.ShowSystemError({PlatformErrorKind::Other, ERROR_ACCESS_DENIED});

    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0], SystemText(ERROR_ACCESS_DENIED) + "\n");
    EXPECT_EQ(services.messages[0].find('\r'), std::string::npos);
}

TEST_F(NtFamily, CodeWithoutSystemTextShowsWhyFormattingFailed) {
    TAtapi atapi(*platform, clock, services);
    services.messages.clear();
    constexpr DWORD kCodeWithoutText = 0x2000FFFF;

    atapi.ShowSystemError({PlatformErrorKind::Other, kCodeWithoutText});

    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0],
              "Format message failed.  Error: " + std::to_string(ERROR_MR_MID_NOT_FOUND) + "\n");
}

}  // namespace
}  // namespace troz::test
