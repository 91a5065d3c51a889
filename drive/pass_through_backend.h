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

// How a failed pass-through call failed. The transport tolerates the first two kinds (the
// command's own SCSI status then decides); any other failure is shown to the user.
enum class PlatformErrorKind { None, TimedOut, IoDevice, Other };

struct PlatformError {
    PlatformError() = default;
    PlatformError(PlatformErrorKind errorKind, std::uint32_t errorCode, std::string errorText = {})
        : kind(errorKind), code(errorCode), text(std::move(errorText)) {}

    PlatformErrorKind kind = PlatformErrorKind::None;
    std::uint32_t code = 0;  // the platform's own error number (GetLastError, errno)
    // The whole text the user sees for this failure, written where it happened (which
    // device, which command, what the host adapter or driver reported, what to do about it).
    // Empty: the system's own text for code.
    std::string text;
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
