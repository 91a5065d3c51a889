// The consumer family through the real Win32 calls: this program runs under wine as on
// Windows 98, so the drive context loads WNASPI32.DLL from the system directory with
// LoadLibraryA and waits for its requests on real events. The library is the test one
// (tests/win32/wnaspi32), which answers with the built-in virtual drives and completes
// data commands later, from a thread of its own.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drive/atapi.h"
#include "drive/system_platform.h"
#include "tests/support/drive_fakes.h"

namespace troz::test {
namespace {

constexpr std::uint8_t kStatusError = 4;  // SS_ERR
constexpr std::uint8_t kCheckCondition = 2;

std::string LibraryPath() {
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, sizeof directory);
    return std::string(directory) + "\\WNASPI32.DLL";
}

bool LibraryInstalled() {
    return GetFileAttributesA(LibraryPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

class AspiFamily : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LibraryInstalled()) << LibraryPath() << " is missing";
        ASSERT_EQ(platform->VersionPlatformId(), kVerPlatformWin32Windows)
            << "wine must give this program the Windows 98 version (tools/wine-prefix.sh)";
        atapi = std::make_unique<TAtapi>(*platform, clock, services);
    }

    // Real time: the library completes requests on its own thread.
    SystemClock clock;
    RecordingServices services;
    std::unique_ptr<DrivePlatform> platform = MakeSystemDrivePlatform(services);
    std::unique_ptr<TAtapi> atapi;
};

TEST_F(AspiFamily, Windows98TakesTheAspiTransportFromTheSystemDirectory) {
    EXPECT_FALSE(atapi->NtFlag());
    EXPECT_FALSE(atapi->IsNtFamily());
    EXPECT_TRUE(atapi->AspiLoaded());
    EXPECT_TRUE(services.messages.empty());

    const HMODULE library = GetModuleHandleA("WNASPI32.DLL");
    ASSERT_NE(library, nullptr);
    char loadedFrom[MAX_PATH] = {};
    GetModuleFileNameA(library, loadedFrom, sizeof loadedFrom);
    EXPECT_EQ(_stricmp(loadedFrom, LibraryPath().c_str()), 0) << loadedFrom;
}

TEST_F(AspiFamily, ScanListsEveryCdromAddressInOrder) {
    // Host adapter 1 answers its device-type requests later: the scan waits for them.
    ASSERT_EQ(atapi->DriveCount(), 3);
    EXPECT_EQ(atapi->Location(0), "ha 0 target 0 lun 0");
    EXPECT_EQ(atapi->Location(1), "ha 0 target 1 lun 0");
    EXPECT_EQ(atapi->Location(2), "ha 1 target 0 lun 0");
    EXPECT_EQ(DriveItemText(atapi->Entry(0)), "TROZ    KVW-A100A        1.00");
    EXPECT_EQ(DriveItemText(atapi->Entry(1)), "TROZ    KVW-B200A        2.00");
    EXPECT_EQ(DriveItemText(atapi->Entry(2)), "ACME    CDRW-5200        3.10");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(atapi->Entry(i).handle, 0u);
    }
    EXPECT_EQ(atapi->CurrentHostAdapterId(), 0);
    EXPECT_EQ(atapi->CurrentTargetId(), 0);
    EXPECT_EQ(atapi->CurrentLun(), 0);
}

TEST_F(AspiFamily, DataCommandsCompleteThroughTheRequestEvent) {
    atapi->SelectDevice(2);
    std::array<std::uint8_t, kInquiryAllocationLength> reply{};

    ASSERT_EQ(atapi->Inquiry(reply), kCommandSuccess);

    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data() + 8), 24),
              "ACME    CDRW-5200       ");
    EXPECT_EQ(atapi->TestUnitReady(), kCommandSuccess);
}

TEST_F(AspiFamily, RefusedCommandLeavesItsSenseAndTargetStatusInTheRequestBlock) {
    // The foreign drive takes no firmware: WRITE BUFFER is refused with 5/24/00, and the
    // request completes later, like every command that carries data.
    atapi->SelectDevice(2);
    const std::vector<std::uint8_t> piece(512, 0x5A);

    EXPECT_EQ(atapi->WriteBuffer(piece.data(), 0, 0, static_cast<std::uint32_t>(piece.size())),
              kStatusError);

    const SenseBytes refused = atapi->LastOutcome().sense;
    EXPECT_EQ(refused.senseKey, 0x05);
    EXPECT_EQ(refused.asc, 0x24);
    EXPECT_EQ(refused.ascq, 0x00);
    EXPECT_EQ(refused.targetStatus, kCheckCondition);

    // The library writes sense only for a CHECK CONDITION: a command that succeeds next
    // must not read as refused.
    ASSERT_EQ(atapi->TestUnitReady(), kCommandSuccess);
    const SenseBytes after = atapi->LastOutcome().sense;
    EXPECT_EQ(after.targetStatus, 0);
    EXPECT_EQ(after.senseKey, 0);
    EXPECT_EQ(after.asc, 0);
}

TEST_F(AspiFamily, CommandsGoToTheSelectedAddress) {
    std::array<std::uint8_t, kInquiryAllocationLength> reply{};
    for (int index : {1, 0}) {
        atapi->SelectDevice(index);
        reply.fill(0);
        ASSERT_EQ(atapi->Inquiry(reply), kCommandSuccess);
        EXPECT_EQ(std::memcmp(reply.data() + 8, atapi->Entry(index).identification, 24), 0)
            << index;
    }
}

// Run on its own, with the library taken out of the system directory.
TEST(AspiLibraryMissing, ShowsTheMessageAndLeavesTheDeviceTableEmpty) {
    ASSERT_FALSE(LibraryInstalled()) << "this case runs with " << LibraryPath() << " removed";
    SystemClock clock;
    RecordingServices services;
    const std::unique_ptr<DrivePlatform> platform = MakeSystemDrivePlatform(services);
    TAtapi atapi(*platform, clock, services);

    EXPECT_FALSE(atapi.NtFlag());
    EXPECT_FALSE(atapi.AspiLoaded());
    EXPECT_EQ(services.messages, std::vector<std::string>{"WNASPI32.DLL not found"});
    EXPECT_EQ(atapi.DriveCount(), 0);
    EXPECT_EQ(atapi.CurrentHostAdapterId(), 0);
    EXPECT_EQ(atapi.CurrentTargetId(), 0);
    EXPECT_EQ(atapi.CurrentLun(), 0);
    EXPECT_NE(atapi.TestUnitReady(), kCommandSuccess);
}

}  // namespace
}  // namespace troz::test
