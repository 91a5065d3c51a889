// One pass-through block as an SG_IO request, and the outcome of the ioctl sorted into the
// platform errors the pass-through transport knows. Pure functions over the block and the
// request header, so each direction and each outcome can be checked without a kernel.
#pragma once

#include <scsi/sg.h>

#include <cstdint>

#include "drive/pass_through_backend.h"
#include "drive/pass_through_block.h"

namespace troz {

// Host adapter status (the kernel's DID_ codes) and driver status (DRIVER_ codes) of a
// completed SG_IO request; userspace headers do not carry them.
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

// Fills header from block: direction from DataIn, the block's own buffer, CDB and sense
// buffer, the time-out in milliseconds. False, with header untouched beyond the clearing,
// when the block asks for something SG_IO cannot take (a CDB length of 0 or above 16).
bool BuildSgIoRequest(PassThroughBlock& block, sg_io_hdr& header);

// Sorts the outcome of the ioctl: its errno (0 when the call returned), then the host
// status, the driver status and the SCSI status, which is written into the block's
// ScsiStatus. The sense data is already in the block: the kernel writes it there. A host or
// driver failure carries the status's kernel name as its text ("host status DID_ERROR").
PlatformError ClassifySgIoResult(int ioctlError, const sg_io_hdr& header, PassThroughBlock& block);

}  // namespace troz
