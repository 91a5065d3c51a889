// The pass-through backend of the virtual drives: candidate i (drive letter A + i, /dev/sr<i>)
// is slot i, holding a device model or nothing. Transport faults of a device come back as
// the platform errors a real backend would report.
#pragma once

#include <array>

#include "drive/pass_through_backend.h"
#include "drive/virtual/scsi_device.h"

namespace troz {

class VirtualPassThroughBackend final : public PassThroughBackend {
public:
    VirtualPassThroughBackend() = default;
    // Puts a device in a slot (null empties it). The device is not owned.
    void SetDevice(int candidate, ScsiDevice* device);

    bool IsOpticalDrive(int candidate) override;
    std::string DevicePath(int candidate) override;
    DeviceHandle Open(int candidate) override;
    void Close(DeviceHandle handle) override;
    PlatformError Execute(DeviceHandle handle, PassThroughBlock& block) override;
    bool FormatSystemError(std::uint32_t code, std::string& text,
                           std::uint32_t& lastError) override;

    // How many times each candidate was opened and is still open (for tests).
    int OpenCount(int candidate) const;

private:
    // Handles are candidate + kHandleBase, so no handle is 0 or INVALID_HANDLE_VALUE.
    static constexpr DeviceHandle kHandleBase = 0x100;

    std::array<ScsiDevice*, kCandidateCount> slots_{};
    std::array<int, kCandidateCount> openCounts_{};
};

}  // namespace troz
