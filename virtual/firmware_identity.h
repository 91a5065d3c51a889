// After programming, a drive reports what its new firmware says it is: the INQUIRY data
// carried in the image. The drive finds it as the Open step does, by the head of a removable
// CD/DVD device's INQUIRY answer in the image's first 65535 bytes, from offset 64 on.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "virtual/drive_config.h"

namespace troz {

// The identification (vendor, product, revision) and model code of the image's first model
// record whose 99 bytes lie inside the scanned window; none when there is no such record.
std::optional<DriveIdentity> FindFirmwareIdentity(const std::vector<std::uint8_t>& image);

}  // namespace troz
