// Drive discovery: fills the device table once, at start-up, through the chosen transport.
#include <array>
#include <cstring>

#include "drive/atapi.h"
#include "drive/scsi_commands.h"

namespace troz {

namespace {

constexpr int kAspiTargetsPerAdapter = 8;
constexpr int kAspiLunsPerTarget = 8;
// While a device-type request is pending the scan checks again after this pause, so the
// wait neither spins a core nor lasts for ever.
constexpr std::uint32_t kDeviceTypePollMs = 1;

// INQUIRY reply bytes kept in the device entry: vendor and product as one identification.
constexpr std::size_t kIdentificationLength = kInquiryVendorLength + kInquiryProductLength;

static_assert(kInquiryRevisionOffset + kInquiryRevisionLength <= kInquiryAllocationLength);

void StoreIdentification(DeviceEntry& entry,
                         std::span<const std::uint8_t, kInquiryAllocationLength> reply) {
    std::memcpy(entry.identification, reply.data() + kInquiryVendorOffset, kIdentificationLength);
    entry.identification[kIdentificationLength] = '\0';
    std::memcpy(entry.revision, reply.data() + kInquiryRevisionOffset, kInquiryRevisionLength);
}

}  // namespace

int TAtapi::ScanDrives() {
    if (NtFlag()) {
        return ScanNtDrives();
    }
    driveCount_ = 0;
    if (getSupportInfo_ == nullptr || sendCommand_ == nullptr) {
        return driveCount_;
    }
    const int hostAdapterCount = static_cast<int>(getSupportInfo_() & 0xFF);
    std::array<std::uint8_t, aspi::gdev::kSize> request{};
    for (int hostAdapter = 0; hostAdapter < hostAdapterCount; ++hostAdapter) {
        for (int target = 0; target < kAspiTargetsPerAdapter; ++target) {
            for (int lun = 0; lun < kAspiLunsPerTarget; ++lun) {
                if (driveCount_ == kDeviceTableSize) {
                    return driveCount_;  // the table is full: the rest cannot be listed
                }
                request[aspi::kCommand] = aspi::kScGetDevType;
                request[aspi::kHostAdapter] = static_cast<std::uint8_t>(hostAdapter);
                request[aspi::kFlags] = 0;
                std::memset(request.data() + aspi::kHeaderReserved, 0, 4);
                request[aspi::gdev::kTarget] = static_cast<std::uint8_t>(target);
                request[aspi::gdev::kLun] = static_cast<std::uint8_t>(lun);
                request[aspi::gdev::kSize - 1] = 0;
                sendCommand_(request.data());
                if (!WaitForDeviceTypeRequest(request.data())) {
                    continue;
                }
                if (request[aspi::kStatus] == aspi::kSsComp &&
                    request[aspi::gdev::kDeviceType] == aspi::kDeviceTypeCdrom) {
                    RecordAspiDevice(static_cast<std::uint8_t>(hostAdapter),
                                     static_cast<std::uint8_t>(target),
                                     static_cast<std::uint8_t>(lun));
                }
            }
        }
    }
    return driveCount_;
}

bool TAtapi::WaitForDeviceTypeRequest(std::uint8_t* request) {
    const std::uint32_t start = clock_.GetTickCount();
    while (request[aspi::kStatus] == aspi::kSsPending) {
        PumpMessages();
        if (request[aspi::kStatus] != aspi::kSsPending) {
            break;
        }
        if (clock_.GetTickCount() - start > kAspiScanRequestTimeoutMs) {
            // A layer that never answers must not hang the start-up: give the address up.
            SendAbort(request[aspi::kHostAdapter], request);
            return false;
        }
        clock_.Sleep(kDeviceTypePollMs);
    }
    return true;
}

void TAtapi::RecordAspiDevice(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) {
    DeviceEntry& entry = deviceTable_[static_cast<std::size_t>(driveCount_)];
    entry.hostAdapterId = hostAdapter;
    entry.targetId = target;
    entry.lun = lun;
    currentHostAdapterId_ = hostAdapter;
    currentTargetId_ = target;
    currentLun_ = lun;
    std::array<std::uint8_t, kInquiryAllocationLength> reply{};
    Inquiry(reply);
    StoreIdentification(entry, reply);
    ++driveCount_;
}

int TAtapi::ScanNtDrives() {
    PassThroughBackend& backend = platform_.PassThrough();
    driveCount_ = 0;
    for (int candidate = 0; candidate < PassThroughBackend::kCandidateCount; ++candidate) {
        if (!backend.IsOpticalDrive(candidate)) {
            continue;
        }
        lastOpenedHandle_ = backend.Open(candidate);
        if (lastOpenedHandle_ == kInvalidHandle) {
            continue;
        }
        openedHandles_[static_cast<std::size_t>(openedHandleCount_++)] = lastOpenedHandle_;
        currentHandle_ = lastOpenedHandle_;
        std::array<std::uint8_t, kInquiryAllocationLength> reply{};
        Inquiry(reply);
        // Past four drives the entry after the last listed one is written again and again.
        DeviceEntry& entry = deviceTable_[static_cast<std::size_t>(driveCount_)];
        entry.handle = lastOpenedHandle_;
        StoreIdentification(entry, reply);
        devicePaths_[static_cast<std::size_t>(driveCount_)] = backend.DevicePath(candidate);
        if (driveCount_ < kMaxNtDrives) {
            ++driveCount_;
        }
    }
    return driveCount_;
}

}  // namespace troz
