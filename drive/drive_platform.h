// Everything the drive context takes from the system it runs on, chosen once at start-up:
// the real Windows or Linux calls, or the built-in virtual drives (TROZFLASH_DRIVES).
#pragma once

#include <cstdint>
#include <string>

#include "drive/aspi_platform.h"
#include "drive/pass_through_backend.h"
#include "os/drive_lock.h"

namespace troz {

// GetVersionExA platform ids.
constexpr std::uint32_t kVerPlatformWin32Windows = 1;  // the consumer family: ASPI
constexpr std::uint32_t kVerPlatformWin32Nt = 2;       // the NT family: pass-through

class DrivePlatform {
public:
    virtual ~DrivePlatform() = default;
    // The platform id GetVersionExA reports. Linux reports the NT family: SG_IO is its
    // pass-through call. The virtual ASPI set reports the consumer family.
    virtual std::uint32_t VersionPlatformId() = 0;
    virtual PassThroughBackend& PassThrough() = 0;
    virtual AspiPlatform& Aspi() = 0;
    // Takes at most one pending window message of the thread and dispatches it; returns at
    // once when there is none (PeekMessageA with PM_REMOVE, TranslateMessage, DispatchMessageA).
    // Only the ASPI scan calls it; the flash procedures let the window run through
    // UpdateWindow::DispatchPendingEvents instead.
    virtual void PumpOneMessage() = 0;
    // Makes this process the only writer of the drive at location (TAtapi::Location), whose
    // commands go through handle. Platforms without other processes to fear (the drive
    // models of the tests) take it at once.
    virtual DriveLockResult LockDrive(const std::string& /*location*/, DeviceHandle /*handle*/) {
        return DriveLockResult::Taken(nullptr);
    }
    // The location a drive is listed under for a node the user names (a link to it, its
    // SCSI generic node); empty when it names none of this platform's drives.
    virtual std::string ListedNodeOf(const std::string& /*node*/) { return {}; }
    // The node the commands of the drive at location go through when it is another one
    // (/dev/sgM for /dev/srN); empty when there is none.
    virtual std::string CommandNodeOf(const std::string& /*location*/) { return {}; }
};

}  // namespace troz
