// An ASPI execute request run on a device in the process and completed in its request block:
// the part every ASPI manager of ours does alike, whether it completes the request at once,
// later on the message pump, or on a thread of its own. Requests are read and written only by
// the offsets of drive/aspi_layout.h.
#pragma once

#include <cstdint>

#include "drive/virtual/scsi_device.h"

namespace troz {

// Host adapter status of a request that failed on the adapter or link (HASTAT_BUS_FREE).
constexpr std::uint8_t kHostStatusUnexpectedBusFree = 0x13;

// What GetASPI32SupportInfo returns: the status in bits 8-15, the host adapter count below.
std::uint32_t AspiSupportInfo(std::uint8_t status, std::uint8_t hostAdapterCount);

// Runs the request's command on device: its CDB, the data direction of its flags (neither in
// nor out: no data) and its data buffer.
DeviceReply RunExecRequest(ScsiDevice& device, std::uint8_t* request);

// Writes the reply's host status, target status and, for a CHECK CONDITION, as much sense as
// the request has room for, and returns the request's status: SS_COMP, SS_ERR, or
// SS_NO_DEVICE for a device that has gone. The status byte itself is left to the caller, who
// writes it last: a caller polling the request must find every other field in place.
std::uint8_t CompleteExecRequest(std::uint8_t* request, const DeviceReply& reply);

}  // namespace troz
