#include "virtual/aspi_request.h"

#include <algorithm>
#include <cstring>

#include "drive/aspi_layout.h"
#include "drive/bytes.h"
#include "drive/scsi.h"

namespace troz {

namespace {

constexpr std::uint8_t kDirectionMask = 0x18;
constexpr std::uint32_t kSupportInfoStatusShift = 8;
// The sense area holds the sense length of the request plus two bytes.
constexpr std::size_t kSenseAreaSize = aspi::kSenseLength + 2;

}  // namespace

std::uint32_t AspiSupportInfo(std::uint8_t status, std::uint8_t hostAdapterCount) {
    return (static_cast<std::uint32_t>(status) << kSupportInfoStatusShift) | hostAdapterCount;
}

DeviceReply RunExecRequest(ScsiDevice& device, std::uint8_t* request) {
    std::uint8_t direction = request[aspi::kFlags] & kDirectionMask;
    if (direction != kDirectionIn && direction != kDirectionOut) {
        direction = kDirectionNone;
    }
    const auto length = GetNative<std::uint32_t>(request + aspi::exec::kBufferLength);
    auto* buffer = static_cast<std::uint8_t*>(GetPointer(request + aspi::exec::kBufferPointer));
    return device.Execute(request + aspi::exec::kCdb, direction, buffer,
                          buffer != nullptr ? length : 0);
}

std::uint8_t CompleteExecRequest(std::uint8_t* request, const DeviceReply& reply) {
    request[aspi::exec::kHostStatus] = 0;
    request[aspi::exec::kTargetStatus] = 0;
    if (reply.fault == TransportFault::Gone) {
        return aspi::kSsNoDevice;
    }
    if (reply.fault != TransportFault::None) {
        request[aspi::exec::kHostStatus] = kHostStatusUnexpectedBusFree;
        return aspi::kSsErr;
    }
    if (reply.scsiStatus == kScsiStatusGood) {
        return aspi::kSsComp;
    }
    request[aspi::exec::kTargetStatus] = reply.scsiStatus;
    if (reply.scsiStatus == kScsiStatusCheckCondition) {
        const std::size_t count = std::min<std::size_t>(
            {request[aspi::exec::kSenseLengthField], kSenseAreaSize, reply.sense.size()});
        std::memcpy(request + aspi::exec::kSenseArea, reply.sense.data(), count);
    }
    return aspi::kSsErr;
}

}  // namespace troz
