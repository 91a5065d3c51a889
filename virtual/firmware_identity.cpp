#include "virtual/firmware_identity.h"

#include <algorithm>
#include <cstddef>

#include "drive/scsi_commands.h"
#include "update/model_record.h"
#include "update/package_format.h"

namespace troz {

// A drive takes its new identification from the image the way the Open step finds it: the
// first model record in the image's first 65535 bytes.
std::optional<DriveIdentity> FindFirmwareIdentity(const std::vector<std::uint8_t>& image) {
    const std::size_t window = std::min<std::size_t>(image.size(), kWorkingBufferSize);
    const auto record = FindModelRecord(image.data(), window);
    if (!record) {
        return std::nullopt;
    }
    const auto vendor = record->bytes.begin();
    const auto product = vendor + kInquiryVendorLength;
    const auto revision = product + kInquiryProductLength;
    DriveIdentity identity;
    identity.vendor.assign(vendor, product);
    identity.product.assign(product, revision);
    identity.revision.assign(revision, revision + kInquiryRevisionLength);
    identity.modelCode = record->modelCode;
    return identity;
}

}  // namespace troz
