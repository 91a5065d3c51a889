// TAtapi: the one drive context of the process. It picks the transport by operating-system
// family, finds the optical drives into the device table, keeps the current target, and
// carries every command of the catalogue to the current target through the pass-through
// transport (NT family, Linux SG_IO) or the ASPI transport (consumer family).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "drive/aspi_layout.h"
#include "drive/clock.h"
#include "drive/command_outcome.h"
#include "drive/drive_platform.h"
#include "drive/pass_through_block.h"
#include "drive/scsi.h"
#include "drive/scsi_commands.h"
#include "drive/system_services.h"

namespace troz {

struct DeviceEntry {
    DeviceHandle handle = 0;  // NT: the open handle of the drive; ASPI: stays 0
    std::uint8_t hostAdapterId = 0;
    std::uint8_t targetId = 0;
    std::uint8_t lun = 0;
    char identification[50] = {};  // INQUIRY bytes 8-31 then a NUL
    char revision[8] = {};         // INQUIRY bytes 32-35, NUL-terminated
};

constexpr int kDeviceTableSize = 20;
// The pass-through scan lists at most this many drives.
constexpr int kMaxNtDrives = 4;
constexpr std::uint32_t kAspiCompletionTimeoutMs = 30000;
// A pending device-type request during the ASPI scan is given up after this long.
constexpr std::uint32_t kAspiScanRequestTimeoutMs = 30000;

class TAtapi {
public:
    // Runs the whole start-up of drive access: transport choice, transport set-up, the scan,
    // and entry 0 as the current target. There is one TAtapi per process at a time.
    TAtapi(DrivePlatform& platform, Clock& clock, SystemServices& services);
    ~TAtapi();
    TAtapi(const TAtapi&) = delete;
    TAtapi& operator=(const TAtapi&) = delete;

    // Command transport.
    bool IsNtFamily();
    std::uint8_t ExecCommand(const std::uint8_t* cdb, void* buffer, std::uint32_t length,
                             std::uint8_t direction);
    // Shows a failed platform call to the user: the error's own text, else the system's.
    void ShowSystemError(const PlatformError& error);
    // A new action of the user (Start, Open, a run of the command line) begins: its platform
    // errors are shown again, even the one the last action ended with.
    void BeginUserAction() { errorShown_ = false; }

    // The device table.
    void SelectDevice(int index);

    // Command catalogue: each returns the status byte of ExecCommand (1 = success). A reply
    // buffer is exactly as long as the command asks the drive for.
    std::uint8_t TestUnitReady();
    std::uint8_t Inquiry(std::span<std::uint8_t, kInquiryAllocationLength> reply);
    std::uint8_t RequestSense(std::span<std::uint8_t, kRequestSenseAllocationLength> reply);
    std::uint8_t StopPlayScan();
    std::uint8_t WriteBuffer(const std::uint8_t* data, std::uint8_t blockNumber,
                             std::uint16_t offset, std::uint32_t length);
    std::uint8_t StopUnit();
    std::uint8_t VendorDownload(const std::uint8_t* data, std::uint8_t functionCode,
                                std::uint8_t blockByte, std::uint16_t length,
                                std::uint16_t argument);
    std::uint8_t VendorQuery(std::span<std::uint8_t, kVendorQueryLength> reply);

    // Read access for the window, the update workflow and the flash procedures.
    int DriveCount() const { return driveCount_; }
    const DeviceEntry& Entry(int index) const {
        return deviceTable_.at(static_cast<std::size_t>(index));
    }
    bool NtFlag() const { return ntFlag_ != 0; }
    // What the last command did: its status byte, how it ended, its sense and any platform
    // error. A poll of a drive that is still programming reads here whether the drive itself
    // answered.
    const CommandOutcome& LastOutcome() const { return outcome_; }
    // Where a listed drive lives: its device path, or "ha H target T lun L" on ASPI.
    std::string Location(int index) const;
    // Makes this process the only writer of listed drive index (see DrivePlatform::LockDrive).
    DriveLockResult LockForWriting(int index);
    // The current target, as the commands see it.
    DeviceHandle CurrentHandle() const { return currentHandle_; }
    std::uint8_t CurrentHostAdapterId() const { return currentHostAdapterId_; }
    std::uint8_t CurrentTargetId() const { return currentTargetId_; }
    std::uint8_t CurrentLun() const { return currentLun_; }
    bool AspiLoaded() const { return aspiLibrary_ != nullptr; }

private:
    // The start-up steps and the transports' own steps, in the order they run.
    bool SetUpAspiTransport();
    int ScanDrives();
    int ScanNtDrives();
    // The buffer is only an address to the transports: the platform reads data-out from it
    // and writes data-in into it.
    std::uint8_t Dispatch(const std::uint8_t* cdb, const void* buffer, std::uint32_t length,
                          std::uint8_t direction);
    std::uint8_t ExecPassThrough(const std::uint8_t* cdb, const void* buffer, std::uint32_t length,
                                 std::uint8_t dataIn);
    void AbortRequest(std::uint8_t* request);
    // Lets the platform deliver one pending window message while the ASPI scan waits.
    void PumpMessages();
    void RecordAspiDevice(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun);
    bool WaitForDeviceTypeRequest(std::uint8_t* request);
    void SendAbort(std::uint8_t hostAdapter, void* request);
    std::uint8_t ExecAspiCommand(const std::uint8_t* cdb, const void* buffer, std::uint32_t length,
                                 std::uint8_t direction);
    std::uint8_t FinishPassThrough(const PlatformError& error, std::uint32_t length);
    std::uint8_t FinishAspi(std::uint8_t status, CommandCategory category);

    DrivePlatform& platform_;
    Clock& clock_;
    SystemServices& services_;

    // The current target, the library, the device table and the transports' records.
    DeviceHandle currentHandle_ = 0;
    std::uint8_t currentHostAdapterId_ = 0;
    std::uint8_t currentTargetId_ = 0;
    std::uint8_t currentLun_ = 0;
    ModuleHandle aspiLibrary_ = nullptr;
    int driveCount_ = 0;
    std::uint8_t ntFlag_ = 0;
    DeviceHandle lastOpenedHandle_ = 0;
    std::array<DeviceEntry, kDeviceTableSize> deviceTable_{};
    std::unique_ptr<std::uint8_t[]> requestBlock_;
    PassThroughBlock passThroughBlock_;

    aspi::GetSupportInfoFunction getSupportInfo_ = nullptr;
    aspi::SendCommandFunction sendCommand_ = nullptr;
    std::array<std::string, kDeviceTableSize> devicePaths_{};
    CommandOutcome outcome_;
    // The platform error whose text was shown last; the same error of the commands right
    // after it, within one action of the user, is not shown again (a drive that went away
    // would otherwise raise one box per poll of the completion wait).
    PlatformError shownError_;
    bool errorShown_ = false;
    // Every handle the scan opened; all are closed when the drive context ends.
    std::array<DeviceHandle, PassThroughBackend::kCandidateCount> openedHandles_{};
    int openedHandleCount_ = 0;
};

}  // namespace troz

namespace troz {

// Where an ASPI drive lives, as Location gives it and the drive locks name it:
// "ha H target T lun L".
std::string AspiLocation(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun);

// The text a drive list shows for a device entry: its identification, one blank and its
// revision ("%s %s"), each up to its terminating NUL.
std::string DriveItemText(const DeviceEntry& entry);

}  // namespace troz
