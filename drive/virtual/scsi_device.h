// The device side of the virtual backends: a SCSI device model in the process. The virtual
// pass-through backend and the virtual ASPI manager both hand commands to it.
#pragma once

#include <array>
#include <cstdint>

#include "drive/scsi.h"

namespace troz {

// A failure below the SCSI layer: the command never got a SCSI status.
enum class TransportFault {
    None,
    TimedOut,  // the command did not complete in time
    IoError,   // the adapter or link failed
    Gone,      // the device is no longer there
};

struct DeviceReply {
    std::uint8_t scsiStatus = kScsiStatusGood;
    // Fixed-format sense data, valid when scsiStatus is CHECK CONDITION.
    std::array<std::uint8_t, kFixedSenseLength> sense{};
    TransportFault fault = TransportFault::None;
};

class ScsiDevice {
public:
    virtual ~ScsiDevice() = default;
    // Runs one command. cdb holds 12 bytes; direction is kDirectionIn, kDirectionOut or
    // kDirectionNone; buffer holds length bytes (it may be null when length is 0).
    virtual DeviceReply Execute(const std::uint8_t* cdb, std::uint8_t direction,
                                std::uint8_t* buffer, std::uint32_t length) = 0;
    // False once the device has gone away: it can no longer be opened or found.
    virtual bool Present() const = 0;
};

}  // namespace troz
