// A drive platform over virtual devices: the virtual pass-through backend (the NT family's
// way) or the virtual ASPI manager (the consumer family's way). The devices are placed by
// the caller and not owned.
#pragma once

#include <cstdint>

#include "drive/clock.h"
#include "drive/drive_platform.h"
#include "drive/virtual/virtual_pass_through.h"
#include "virtual/aspi_manager.h"
#include "virtual/virtual_aspi_platform.h"

namespace troz {

enum class VirtualTransport { PassThrough, Aspi };

class VirtualDrivePlatform final : public DrivePlatform {
public:
    // On ASPI the manager is installed at once (uninstall it to test a missing library).
    VirtualDrivePlatform(VirtualTransport transport, Clock& clock,
                         std::uint8_t hostAdapterCount = 1);
    ~VirtualDrivePlatform() override;
    VirtualDrivePlatform(const VirtualDrivePlatform&) = delete;
    VirtualDrivePlatform& operator=(const VirtualDrivePlatform&) = delete;

    std::uint32_t VersionPlatformId() override;
    PassThroughBackend& PassThrough() override { return passThrough_; }
    AspiPlatform& Aspi() override { return aspiPlatform_; }
    // The virtual system has no windows; the pump is where pending ASPI requests complete.
    void PumpOneMessage() override;

    // Places a device on both transports: pass-through candidate and ASPI address.
    void Attach(ScsiDevice* device, int candidate, const AspiAddress& address);

    VirtualAspiManager& Manager() { return manager_; }
    VirtualAspiPlatform& VirtualAspi() { return aspiPlatform_; }
    int PumpCount() const { return pumpCount_; }

private:
    VirtualTransport transport_;
    VirtualPassThroughBackend passThrough_;
    VirtualAspiManager manager_;
    VirtualAspiPlatform aspiPlatform_;
    int pumpCount_ = 0;
};

}  // namespace troz
