// The pass-through backend: the platform under the pass-through transport. Windows opens "\\.\X:"
// and calls DeviceIoControl; Linux opens the optical drive's node and calls SG_IO; the virtual
// backend hands the block to a device model in the process.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "drive/pass_through_block.h"
#include "os/device_handle.h"

namespace troz {

// Host adapter status (the kernel's DID_ codes) and driver status (DRIVER_ codes) as Linux
// reports them for a completed SG_IO request; userspace headers do not carry them. Other
// platforms have no such statuses and leave both at 0.
namespace sg_status {
constexpr std::uint16_t kHostOk = 0x00;
constexpr std::uint16_t kHostNoConnect = 0x01;
constexpr std::uint16_t kHostBusBusy = 0x02;
constexpr std::uint16_t kHostTimeOut = 0x03;
constexpr std::uint16_t kHostBadTarget = 0x04;
constexpr std::uint16_t kHostAbort = 0x05;
constexpr std::uint16_t kHostError = 0x07;
constexpr std::uint16_t kHostReset = 0x08;

// The low nibble is the driver byte; the high nibble carries retry suggestions.
constexpr std::uint16_t kDriverMask = 0x0F;
constexpr std::uint16_t kDriverOk = 0x00;
constexpr std::uint16_t kDriverBusy = 0x01;
constexpr std::uint16_t kDriverTimeout = 0x06;
constexpr std::uint16_t kDriverSense = 0x08;  // sense data was fetched: not a failure
}  // namespace sg_status

// How a failed pass-through call failed. The transport tolerates the first two kinds (the
// command's own SCSI status then decides); any other failure is shown to the user.
enum class PlatformErrorKind { None, TimedOut, IoDevice, Other };

struct PlatformError {
    PlatformError() = default;
    PlatformError(PlatformErrorKind errorKind, std::uint32_t errorCode, std::string errorText = {})
        : kind(errorKind), code(errorCode), text(std::move(errorText)) {}

    PlatformErrorKind kind = PlatformErrorKind::None;
    // The platform's own error number (GetLastError, errno); 0 when the call itself went
    // through, even if the adapter or driver then failed the command.
    std::uint32_t code = 0;
    // The host adapter and driver statuses of a call that went through, exactly as the
    // platform gave them (Linux); 0 where the platform has none.
    std::uint16_t hostStatus = 0;
    std::uint16_t driverStatus = 0;
    // The whole text the user sees for this failure, written where it happened (which
    // device, which command, what the host adapter or driver reported, what to do about it).
    // Empty: the system's own text for code.
    std::string text;

    // The call came back from the adapter: the platform's residual count and sense length
    // in the block describe this command.
    bool CallWentThrough() const { return code == 0; }
};

class PassThroughBackend {
public:
    // Discovery walks this many candidates in order: the drive letters A to Y on Windows,
    // /dev/sr0 to /dev/sr24 on Linux.
    static constexpr int kCandidateCount = 25;

    virtual ~PassThroughBackend() = default;
    // True when candidate is an optical drive (GetDriveTypeA gives DRIVE_CDROM).
    virtual bool IsOpticalDrive(int candidate) = 0;
    // Where the candidate lives, for the user: "\\.\E:", "/dev/sr0", "virtual:0".
    virtual std::string DevicePath(int candidate) = 0;
    // Opens the candidate for commands; kInvalidHandle when it cannot be opened.
    virtual DeviceHandle Open(int candidate) = 0;
    // Closes a handle that Open returned; anything else is ignored.
    virtual void Close(DeviceHandle handle) = 0;
    // Runs one pass-through block on the handle. On return the block's ScsiStatus and sense
    // buffer hold what the drive reported, and data-in commands have filled DataBuffer.
    virtual PlatformError Execute(DeviceHandle handle, PassThroughBlock& block) = 0;
    // The system's text for an error code (FormatMessageA, strerror). False when the system
    // has no text for it; lastError then holds the reason (GetLastError after the failure).
    // A failure whose PlatformError carries its own text does not come here.
    virtual bool FormatSystemError(std::uint32_t code, std::string& text,
                                   std::uint32_t& lastError) = 0;
};

}  // namespace troz
