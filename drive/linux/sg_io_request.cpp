#include "drive/linux/sg_io_request.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

namespace troz {

namespace {

constexpr int kSgInterfaceId = 'S';
constexpr std::uint8_t kLargestCdb = 16;
constexpr std::uint32_t kMillisecondsPerSecond = 1000;

int SgDirection(std::uint8_t dataIn) {
    switch (dataIn) {
        case kScsiIoctlDataIn:
            return SG_DXFER_FROM_DEV;
        case kScsiIoctlDataOut:
            return SG_DXFER_TO_DEV;
        default:
            return SG_DXFER_NONE;
    }
}

PlatformError Failure(PlatformErrorKind kind, int error) {
    return {kind, static_cast<std::uint32_t>(error)};
}

// The kernel's names of the host and driver statuses, indexed by their codes.
constexpr std::array<const char*, 21> kHostStatusNames = {
    "DID_OK",
    "DID_NO_CONNECT",
    "DID_BUS_BUSY",
    "DID_TIME_OUT",
    "DID_BAD_TARGET",
    "DID_ABORT",
    "DID_PARITY",
    "DID_ERROR",
    "DID_RESET",
    "DID_BAD_INTR",
    "DID_PASSTHROUGH",
    "DID_SOFT_ERROR",
    "DID_IMM_RETRY",
    "DID_REQUEUE",
    "DID_TRANSPORT_DISRUPTED",
    "DID_TRANSPORT_FAILFAST",
    "DID_TARGET_FAILURE",
    "DID_NEXUS_FAILURE",
    "DID_ALLOC_FAILURE",
    "DID_MEDIUM_ERROR",
    "DID_TRANSPORT_MARGINAL",
};
constexpr std::array<const char*, 9> kDriverStatusNames = {
    "DRIVER_OK",      "DRIVER_BUSY",    "DRIVER_SOFT", "DRIVER_MEDIA", "DRIVER_ERROR",
    "DRIVER_INVALID", "DRIVER_TIMEOUT", "DRIVER_HARD", "DRIVER_SENSE",
};

template <std::size_t N>
std::string StatusText(const char* kind, const std::array<const char*, N>& names,
                       std::uint16_t code) {
    if (code < N) {
        return std::string(kind) + " " + names[code];
    }
    char text[48];
    std::snprintf(text, sizeof text, "%s 0x%02X", kind, code);
    return text;
}

// A host or driver failure has no error number: the call itself went through. Only the
// time-outs are tolerated like ETIMEDOUT; every other status is a real failure the user has to
// see, named by the status itself.
PlatformError StatusFailure(bool timedOut, std::string text) {
    return {timedOut ? PlatformErrorKind::TimedOut : PlatformErrorKind::Other, 0, std::move(text)};
}

PlatformError HostStatusFailure(std::uint16_t hostStatus) {
    return StatusFailure(hostStatus == sg_status::kHostTimeOut,
                         StatusText("host status", kHostStatusNames, hostStatus));
}

PlatformError DriverStatusFailure(std::uint16_t driverByte) {
    return StatusFailure(driverByte == sg_status::kDriverTimeout,
                         StatusText("driver status", kDriverStatusNames, driverByte));
}

// As the NT call does, the block says afterwards how many bytes moved and how many bytes of
// sense came back. A command without a data phase keeps its length, which SG_IO never saw.
void ReportTransfer(const sg_io_hdr& header, PassThroughBlock& block) {
    if (header.dxfer_direction != SG_DXFER_NONE) {
        const std::uint32_t residual =
            header.resid > 0 ? std::min<std::uint32_t>(static_cast<std::uint32_t>(header.resid),
                                                       header.dxfer_len)
                             : 0;
        block.SetDataTransferLength(header.dxfer_len - residual);
    }
    block.SetSenseInfoLength(std::min(header.sb_len_wr, header.mx_sb_len));
}

}  // namespace

bool BuildSgIoRequest(PassThroughBlock& block, sg_io_hdr& header) {
    header = sg_io_hdr{};
    const std::uint8_t cdbLength = block.CdbLength();
    if (cdbLength == 0 || cdbLength > kLargestCdb) {
        return false;
    }
    header.interface_id = kSgInterfaceId;
    header.dxfer_direction = SgDirection(block.DataIn());
    header.cmd_len = cdbLength;
    header.cmdp = block.Cdb();
    header.sbp = block.Sense();
    header.mx_sb_len = static_cast<unsigned char>(
        std::min<std::size_t>(block.SenseInfoLength(), pass_through_layout::kSenseBufferSize));
    // The kernel refuses a transfer length on a command without data; the NT call ignores
    // it there, so a stray length must not turn into a failure here.
    if (header.dxfer_direction != SG_DXFER_NONE) {
        header.dxferp = block.DataBuffer();
        header.dxfer_len = block.DataTransferLength();
    }
    constexpr std::uint32_t kLongestTimeOut =
        std::numeric_limits<std::uint32_t>::max() / kMillisecondsPerSecond;
    header.timeout = std::min(block.TimeOutValue(), kLongestTimeOut) * kMillisecondsPerSecond;
    return true;
}

PlatformError ClassifySgIoResult(int ioctlError, const sg_io_hdr& header, PassThroughBlock& block) {
    if (ioctlError != 0) {
        // The request never completed: nothing in header is a status of the drive.
        block.SetScsiStatus(kScsiStatusGood);
        if (ioctlError == ETIMEDOUT) {
            return Failure(PlatformErrorKind::TimedOut, ioctlError);
        }
        if (ioctlError == EIO) {
            return Failure(PlatformErrorKind::IoDevice, ioctlError);
        }
        return Failure(PlatformErrorKind::Other, ioctlError);
    }
    // Some adapters fill only the shifted status; either way the block gets the whole byte.
    const std::uint8_t scsiStatus =
        header.status != 0 ? header.status : static_cast<std::uint8_t>(header.masked_status << 1);
    block.SetScsiStatus(scsiStatus);
    ReportTransfer(header, block);
    PlatformError error;
    const std::uint16_t driverByte = header.driver_status & sg_status::kDriverMask;
    if (header.host_status != sg_status::kHostOk) {
        error = HostStatusFailure(header.host_status);
    } else if (driverByte != sg_status::kDriverOk && driverByte != sg_status::kDriverSense) {
        error = DriverStatusFailure(driverByte);
    }
    error.hostStatus = header.host_status;
    error.driverStatus = header.driver_status;
    return error;
}

}  // namespace troz
