// One pass-through block as an SG_IO request, and the outcome of the ioctl sorted into the
// platform errors the pass-through transport knows. Pure functions over the block and the
// request header, so each direction and each outcome can be checked without a kernel.
#pragma once

#include <scsi/sg.h>

#include <cstdint>

#include "drive/pass_through_backend.h"
#include "drive/pass_through_block.h"

namespace troz {

// Fills header from block: direction from DataIn, the block's own buffer, CDB and sense
// buffer, the time-out in milliseconds. False, with header untouched beyond the clearing,
// when the block asks for something SG_IO cannot take (a CDB length of 0 or above 16).
bool BuildSgIoRequest(PassThroughBlock& block, sg_io_hdr& header);

// Sorts the outcome of the ioctl: its errno (0 when the call returned), then the host
// status, the driver status and the SCSI status, which is written into the block's
// ScsiStatus. The sense data is already in the block: the kernel writes it there; as the NT
// call does, DataTransferLength and SenseInfoLength then say how much moved and how much
// sense came back. A call that returned keeps its raw host and driver statuses; a host or
// driver failure has no error number and carries the status's kernel name as its text
// ("host status DID_ERROR").
PlatformError ClassifySgIoResult(int ioctlError, const sg_io_hdr& header, PassThroughBlock& block);

}  // namespace troz
