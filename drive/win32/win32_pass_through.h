// The pass-through backend of the NT family: candidate N is drive letter A+N, opened as
// "\\.\X:" and driven with DeviceIoControl(IOCTL_SCSI_PASS_THROUGH_DIRECT).
#pragma once

#include "drive/pass_through_backend.h"

namespace troz {

class Win32PassThroughBackend final : public PassThroughBackend {
public:
    bool IsOpticalDrive(int candidate) override;
    std::string DevicePath(int candidate) override;
    DeviceHandle Open(int candidate) override;
    void Close(DeviceHandle handle) override;
    PlatformError Execute(DeviceHandle handle, PassThroughBlock& block) override;
    bool FormatSystemError(std::uint32_t code, std::string& text,
                           std::uint32_t& lastError) override;
};

}  // namespace troz
