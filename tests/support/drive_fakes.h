// Test doubles for drive access: recording system services, a scripted pass-through backend and a
// scripted ASPI layer.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drive/aspi_layout.h"
#include "drive/aspi_platform.h"
#include "drive/atapi.h"
#include "drive/clock.h"
#include "drive/drive_platform.h"
#include "drive/pass_through_backend.h"
#include "tests/support/recording_services.h"
#include "tests/support/virtual_clock.h"

namespace troz::test {

// What one pass-through call carried, copied out of the block when it was executed.
struct SentBlock {
    DeviceHandle handle = 0;
    std::uint16_t length = 0;
    std::uint8_t cdbLength = 0;
    std::uint8_t senseInfoLength = 0;
    std::uint8_t dataIn = 0;
    std::uint32_t dataTransferLength = 0;
    std::uint32_t timeOutValue = 0;
    void* dataBuffer = nullptr;
    std::uint32_t senseInfoOffset = 0;
    std::array<std::uint8_t, 12> cdb{};
    // Every byte of the block other than the fields above, to prove it was cleared.
    bool otherBytesZero = true;
};

// A drive behind the scripted backend: its INQUIRY data and the answer to every command.
// The names are padded with spaces to their fields; NULs in them stay as they are.
struct ScriptedDrive {
    std::string vendor = "TROZ";
    std::string product = "KVW-A100A";
    std::string revision = "1.00";
    bool inquiryFails = false;
};

class ScriptedPassThrough final : public PassThroughBackend {
public:
    static DeviceHandle HandleOf(int candidate) { return 0x1000 + candidate; }
    bool IsOpticalDrive(int candidate) override;
    std::string DevicePath(int candidate) override;
    DeviceHandle Open(int candidate) override;
    void Close(DeviceHandle handle) override { closed.push_back(handle); }
    PlatformError Execute(DeviceHandle handle, PassThroughBlock& block) override;
    bool FormatSystemError(std::uint32_t code, std::string& text,
                           std::uint32_t& lastError) override;

    // Candidate i holds drive i of the list, kept by the backend.
    void Hold(std::vector<ScriptedDrive> list);
    int CloseCount(int candidate) const;

    // Candidate -> drive; a candidate without a drive is not an optical drive.
    std::array<const ScriptedDrive*, kCandidateCount> drives{};
    std::array<bool, kCandidateCount> openFails{};
    std::vector<SentBlock> sent;
    std::vector<DeviceHandle> closed;
    std::vector<int> opened;

    // The reply of the next commands, in order; when empty: GOOD with no sense (INQUIRY
    // answered from the drive).
    struct Reply {
        PlatformError error;
        std::uint8_t scsiStatus = 0;
        std::array<std::uint8_t, 3> sense{};  // key, ASC, ASCQ
        // What the call writes back, as the NT call does: the bytes that did not move and
        // the bytes of sense that came back; and how long the command keeps the clock.
        std::uint32_t residual = 0;
        std::uint8_t senseLength = 0;
        std::uint32_t takesMs = 0;
    };
    std::deque<Reply> replies;
    VirtualClock* clock = nullptr;
    std::function<bool(std::uint32_t, std::string&, std::uint32_t&)> formatter;

private:
    std::vector<ScriptedDrive> held_;
};

// The scripted ASPI layer: host adapters of targets and LUNs with device types. Only one
// exists at a time; its functions are the library's two entry points.
class ScriptedAspi final : public AspiPlatform {
public:
    ScriptedAspi();
    ~ScriptedAspi() override;

    std::uint32_t GetSystemDirectory(char* buffer, std::uint32_t size) override;
    ModuleHandle LoadLibrary(const char* path) override;
    void* GetProcAddress(ModuleHandle module, const char* name) override;
    void FreeLibrary(ModuleHandle module) override { freed.push_back(module); }
    EventHandle CreateEvent() override;
    std::uint32_t WaitForSingleObject(EventHandle event, std::uint32_t milliseconds) override;
    void CloseEvent(EventHandle event) override { closedEvents.push_back(event); }

    static std::uint32_t TROZ_ASPI_CALL SupportInfo();
    static std::uint32_t TROZ_ASPI_CALL SendCommand(void* request);

    // Set-up.
    std::string systemDirectory = "C:\\WINDOWS\\SYSTEM";
    bool libraryPresent = true;
    bool entryPointsPresent = true;
    bool eventCreationFails = false;
    int hostAdapterCount = 1;
    // (host adapter, target, lun) -> device type; absent addresses answer SS_NO_DEVICE.
    std::function<int(int, int, int)> deviceType = [](int, int, int) { return -1; };
    ScriptedDrive drive;
    // How execute requests complete: at once, when waited for, or never.
    enum class Completion { AtOnce, OnWait, Never } completion = Completion::AtOnce;
    std::uint8_t executeStatus = aspi::kSsComp;
    std::uint8_t targetStatus = 0;
    std::array<std::uint8_t, 3> sense{};
    // Device-type requests stay pending for this many pumps.
    int deviceTypePendingPumps = 0;
    bool deviceTypeNeverCompletes = false;
    VirtualClock* clock = nullptr;

    // What happened.
    std::vector<std::string> loadedPaths;
    std::vector<ModuleHandle> freed;
    std::vector<std::array<int, 3>> deviceTypeRequests;
    std::vector<std::vector<std::uint8_t>> executeRequests;  // the request block at send time
    std::vector<void*> aborted;
    std::vector<std::uint8_t> abortHostAdapters;
    std::vector<EventHandle> closedEvents;
    std::vector<std::uint32_t> waits;
    void* pendingRequest = nullptr;
    std::uint8_t* pendingDeviceType = nullptr;
    int pendingPumps = 0;

    void Pump();

private:
    void CompleteExecute(std::uint8_t* request);
    int eventToken_ = 0;
};

class FakePlatform final : public DrivePlatform {
public:
    FakePlatform() = default;
    explicit FakePlatform(std::vector<ScriptedDrive> drives) {
        passThrough.Hold(std::move(drives));
    }
    std::uint32_t VersionPlatformId() override { return platformId; }
    PassThroughBackend& PassThrough() override { return passThrough; }
    AspiPlatform& Aspi() override { return aspi; }
    void PumpOneMessage() override {
        ++pumps;
        aspi.Pump();
    }

    std::uint32_t platformId = kVerPlatformWin32Nt;
    ScriptedPassThrough passThrough;
    ScriptedAspi aspi;
    int pumps = 0;
};

// A test over the scripted platform; Start makes the drive context, once the test has set the
// platform up.
class FakeDriveTest : public ::testing::Test {
protected:
    void Start() { atapi = std::make_unique<TAtapi>(platform, clock, services); }

    FakePlatform platform;
    VirtualClock clock;
    RecordingServices services;
    std::unique_ptr<TAtapi> atapi;
};

// INQUIRY data of a removable CD/DVD device with the given names.
void FillInquiry(const ScriptedDrive& drive, std::uint8_t* reply, std::uint32_t length);

}  // namespace troz::test
