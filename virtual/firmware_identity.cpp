#include "virtual/firmware_identity.h"

#include <algorithm>
#include <cstddef>

namespace troz {

namespace {

constexpr std::size_t kScanWindow = 65535;
constexpr std::size_t kScanStart = 64;
constexpr std::size_t kRecordDistance = 8;  // the record starts at INQUIRY byte 8
constexpr std::size_t kRecordSize = 99;
constexpr std::size_t kVendorLength = 8;
constexpr std::size_t kProductLength = 16;
constexpr std::size_t kRevisionLength = 4;
constexpr std::size_t kModelCodeOffset = 30;  // INQUIRY bytes 38 and 39

constexpr std::uint8_t kDeviceTypeCdrom = 0x05;
constexpr std::uint8_t kRemovable = 0x80;
constexpr std::uint8_t kShortAdditionalLength = 0x1F;
constexpr std::uint8_t kLongAdditionalLength = 0x5B;

bool SignatureAt(const std::uint8_t* at) {
    return at[0] == kDeviceTypeCdrom && at[1] == kRemovable && at[2] == 0x00 &&
           (at[4] == kShortAdditionalLength || at[4] == kLongAdditionalLength);
}

}  // namespace

std::optional<DriveIdentity> FindFirmwareIdentity(const std::vector<std::uint8_t>& image) {
    const std::size_t window = std::min(image.size(), kScanWindow);
    constexpr std::size_t kReach = kRecordDistance + kRecordSize;
    if (window < kScanStart + kReach) {
        return std::nullopt;
    }
    for (std::size_t p = kScanStart; p + kReach <= window; ++p) {
        if (!SignatureAt(image.data() + p)) {
            continue;
        }
        const auto record = image.begin() + static_cast<std::ptrdiff_t>(p + kRecordDistance);
        const auto product = record + kVendorLength;
        const auto revision = product + kProductLength;
        DriveIdentity identity;
        identity.vendor.assign(record, product);
        identity.product.assign(product, revision);
        identity.revision.assign(revision, revision + kRevisionLength);
        identity.modelCode = {record[kModelCodeOffset], record[kModelCodeOffset + 1]};
        return identity;
    }
    return std::nullopt;
}

}  // namespace troz
