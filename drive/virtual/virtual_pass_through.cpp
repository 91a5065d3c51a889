#include "drive/virtual/virtual_pass_through.h"

#include <algorithm>
#include <cstring>

#include "os/os_errors.h"

namespace troz {

namespace {

std::uint8_t DirectionOf(std::uint8_t dataIn) {
    switch (dataIn) {
        case kScsiIoctlDataIn:
            return kDirectionIn;
        case kScsiIoctlDataOut:
            return kDirectionOut;
        default:
            return kDirectionNone;
    }
}

PlatformError ErrorFor(TransportFault fault) {
    switch (fault) {
        case TransportFault::None:
            return {};
        case TransportFault::TimedOut:
            return {PlatformErrorKind::TimedOut, kOsErrorTimedOut};
        case TransportFault::IoError:
            return {PlatformErrorKind::IoDevice, kOsErrorIoDevice};
        case TransportFault::Gone:
            break;
    }
    return {PlatformErrorKind::Other, kOsErrorDeviceGone};
}

}  // namespace

void VirtualPassThroughBackend::SetDevice(int candidate, ScsiDevice* device) {
    if (candidate >= 0 && candidate < kCandidateCount) {
        slots_[static_cast<std::size_t>(candidate)] = device;
    }
}

bool VirtualPassThroughBackend::IsOpticalDrive(int candidate) {
    if (candidate < 0 || candidate >= kCandidateCount) {
        return false;
    }
    const ScsiDevice* device = slots_[static_cast<std::size_t>(candidate)];
    return device != nullptr && device->Present();
}

std::string VirtualPassThroughBackend::DevicePath(int candidate) {
    return "virtual:" + std::to_string(candidate);
}

DeviceHandle VirtualPassThroughBackend::Open(int candidate) {
    if (!IsOpticalDrive(candidate)) {
        return kInvalidHandle;
    }
    ++openCounts_[static_cast<std::size_t>(candidate)];
    return kHandleBase + candidate;
}

void VirtualPassThroughBackend::Close(DeviceHandle handle) {
    const DeviceHandle candidate = handle - kHandleBase;
    if (candidate >= 0 && candidate < kCandidateCount &&
        openCounts_[static_cast<std::size_t>(candidate)] > 0) {
        --openCounts_[static_cast<std::size_t>(candidate)];
    }
}

int VirtualPassThroughBackend::OpenCount(int candidate) const {
    return openCounts_.at(static_cast<std::size_t>(candidate));
}

PlatformError VirtualPassThroughBackend::Execute(DeviceHandle handle, PassThroughBlock& block) {
    const DeviceHandle candidate = handle - kHandleBase;
    if (candidate < 0 || candidate >= kCandidateCount ||
        openCounts_[static_cast<std::size_t>(candidate)] == 0) {
        return {PlatformErrorKind::Other, kOsErrorInvalidHandle};
    }
    ScsiDevice* device = slots_[static_cast<std::size_t>(candidate)];
    if (device == nullptr) {
        return ErrorFor(TransportFault::Gone);
    }
    const std::uint8_t direction = DirectionOf(block.DataIn());
    auto* buffer = static_cast<std::uint8_t*>(block.DataBuffer());
    const std::uint32_t length = buffer != nullptr ? block.DataTransferLength() : 0;
    const DeviceReply reply = device->Execute(block.Cdb(), direction, buffer, length);
    if (reply.fault != TransportFault::None) {
        return ErrorFor(reply.fault);
    }
    block.SetScsiStatus(reply.scsiStatus);
    // As the NT call does, SenseInfoLength says afterwards how much sense came back. The
    // device moves the whole length, so DataTransferLength stays as it was.
    std::size_t senseLength = 0;
    if (reply.scsiStatus == kScsiStatusCheckCondition) {
        senseLength = std::min<std::size_t>(block.SenseInfoLength(), reply.sense.size());
        std::memcpy(block.Sense(), reply.sense.data(), senseLength);
    }
    block.SetSenseInfoLength(static_cast<std::uint8_t>(senseLength));
    return {};
}

bool VirtualPassThroughBackend::FormatSystemError(std::uint32_t code, std::string& text,
                                                  std::uint32_t& lastError) {
    return FormatOsError(code, text, lastError);
}

}  // namespace troz
