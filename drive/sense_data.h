// Sense data as drives and USB bridges answer it: in fixed format (response codes 0x70 and
// 0x71) or in descriptor format (0x72 and 0x73). Every reader of sense in the tool goes
// through here, so a drive that answers in descriptor format is judged by its real codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "drive/scsi.h"

namespace troz {

// Where descriptor-format sense keeps its codes.
constexpr std::size_t kDescriptorSenseKeyOffset = 1;
constexpr std::size_t kDescriptorSenseAscOffset = 2;
constexpr std::size_t kDescriptorSenseAscqOffset = 3;

// Sense key, ASC and ASCQ of sense data (targetStatus stays 0). Fixed format gives its whole
// byte 2 as the key, as the flash procedures compare it; descriptor format its low four bits
// (the rest of that byte is reserved). Data in neither format (all zero after a command
// without sense) reads as fixed. Bytes past the end of data read as 0.
SenseBytes ReadSense(std::span<const std::uint8_t> data);

}  // namespace troz
