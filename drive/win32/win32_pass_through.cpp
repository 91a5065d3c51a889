#include "drive/win32/win32_pass_through.h"

#include <cstddef>

#include "os/os_errors.h"
#include "os/win32/win32_api.h"

// After <windows.h>: the pass-through header needs its control-code macros.
#include <ntddscsi.h>
#include <winioctl.h>

namespace troz {

namespace {

constexpr DWORD kScsiPassThroughDirect = 0x4D014;
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == kScsiPassThroughDirect);

// Our offsets against the system's own record, for whichever width this build has.
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == pass_through_layout::kRecordSize);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Length) == pass_through_layout::kLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, ScsiStatus) == pass_through_layout::kScsiStatus);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, PathId) == pass_through_layout::kPathId);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TargetId) == pass_through_layout::kTargetId);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Lun) == pass_through_layout::kLun);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, CdbLength) == pass_through_layout::kCdbLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoLength) ==
              pass_through_layout::kSenseInfoLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == pass_through_layout::kDataIn);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) ==
              pass_through_layout::kDataTransferLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) ==
              pass_through_layout::kTimeOutValue);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == pass_through_layout::kDataBuffer);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) ==
              pass_through_layout::kSenseInfoOffsetField);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == pass_through_layout::kCdb);

// The block as drivers of this call are usually handed it: the record, a filler, the sense.
struct PassThroughWithSense {
    SCSI_PASS_THROUGH_DIRECT record;
    ULONG filler;
    UCHAR sense[pass_through_layout::kSenseBufferSize];
};
static_assert(offsetof(PassThroughWithSense, sense) == pass_through_layout::kSenseBuffer);
static_assert(sizeof(PassThroughWithSense) == pass_through_layout::kBlockSize);

static_assert(kScsiIoctlDataIn == SCSI_IOCTL_DATA_IN);
static_assert(kScsiIoctlDataOut == SCSI_IOCTL_DATA_OUT);
static_assert(kScsiIoctlDataUnspecified == SCSI_IOCTL_DATA_UNSPECIFIED);

// Drive letters A to Y; Z is never probed.
char DriveLetter(int candidate) {
    return static_cast<char>('A' + candidate);
}

bool IsCandidate(int candidate) {
    return candidate >= 0 && candidate < PassThroughBackend::kCandidateCount;
}

HANDLE ToHandle(DeviceHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool Win32PassThroughBackend::IsOpticalDrive(int candidate) {
    if (!IsCandidate(candidate)) {
        return false;
    }
    const char rootPath[] = {DriveLetter(candidate), ':', '\\', '\0'};
    return GetDriveTypeA(rootPath) == DRIVE_CDROM;
}

std::string Win32PassThroughBackend::DevicePath(int candidate) {
    return std::string("\\\\.\\") + DriveLetter(candidate) + ':';
}

DeviceHandle Win32PassThroughBackend::Open(int candidate) {
    if (!IsCandidate(candidate)) {
        return kInvalidHandle;
    }
    const HANDLE handle =
        CreateFileA(DevicePath(candidate).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return kInvalidHandle;
    }
    return reinterpret_cast<DeviceHandle>(handle);
}

void Win32PassThroughBackend::Close(DeviceHandle handle) {
    if (handle != 0 && handle != kInvalidHandle) {
        CloseHandle(ToHandle(handle));
    }
}

PlatformError Win32PassThroughBackend::Execute(DeviceHandle handle, PassThroughBlock& block) {
    DWORD returned = 0;
    if (DeviceIoControl(ToHandle(handle), kScsiPassThroughDirect, block.Data(),
                        static_cast<DWORD>(PassThroughBlock::kSize), block.Data(),
                        static_cast<DWORD>(PassThroughBlock::kSize), &returned, nullptr)) {
        // The call has written back DataTransferLength (the bytes that moved) and
        // SenseInfoLength (the sense that came back) into the block.
        return {};
    }
    const DWORD error = GetLastError();
    if (error == kOsErrorTimedOut) {
        return {PlatformErrorKind::TimedOut, error};
    }
    if (error == kOsErrorIoDevice) {
        return {PlatformErrorKind::IoDevice, error};
    }
    return {PlatformErrorKind::Other, error};
}

bool Win32PassThroughBackend::FormatSystemError(std::uint32_t code, std::string& text,
                                                std::uint32_t& lastError) {
    return FormatOsError(code, text, lastError);
}

}  // namespace troz
