#include "drive/sense_data.h"

namespace troz {

namespace {

constexpr std::uint8_t kResponseCodeMask = 0x7F;
constexpr std::uint8_t kDescriptorCurrent = 0x72;
constexpr std::uint8_t kDescriptorDeferred = 0x73;
constexpr std::uint8_t kDescriptorSenseKeyMask = 0x0F;

std::uint8_t ByteAt(std::span<const std::uint8_t> data, std::size_t offset) {
    return offset < data.size() ? data[offset] : 0;
}

}  // namespace

SenseBytes ReadSense(std::span<const std::uint8_t> data) {
    SenseBytes sense;
    const std::uint8_t responseCode = ByteAt(data, 0) & kResponseCodeMask;
    if (responseCode == kDescriptorCurrent || responseCode == kDescriptorDeferred) {
        sense.senseKey = ByteAt(data, kDescriptorSenseKeyOffset) & kDescriptorSenseKeyMask;
        sense.asc = ByteAt(data, kDescriptorSenseAscOffset);
        sense.ascq = ByteAt(data, kDescriptorSenseAscqOffset);
        return sense;
    }
    sense.senseKey = ByteAt(data, kSenseKeyOffset);
    sense.asc = ByteAt(data, kSenseAscOffset);
    sense.ascq = ByteAt(data, kSenseAscqOffset);
    return sense;
}

}  // namespace troz
