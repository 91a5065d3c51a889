// What the kernel asks a new CD/DVD drive before its CD-ROM driver binds it, and on each
// open and close of the block node: the drive answers as an empty drive (no disc), so the
// kernel never reads a disc it does not have.
#include <algorithm>
#include <cstring>

#include "drive/bytes.h"
#include "drive/scsi_commands.h"
#include "virtual/virtual_drive.h"

namespace troz {

namespace {

constexpr std::uint8_t kPageCodeMask = 0x3F;
constexpr std::uint8_t kCapabilitiesPage = 0x2A;
constexpr std::size_t kModeHeader6 = 4;
constexpr std::size_t kModeHeader10 = 8;

// Page 2A, CD/DVD capabilities and mechanical status: reads CD-R/RW and DVD, a tray that
// locks and ejects, 8x CD speed.
constexpr std::array<std::uint8_t, 20> kCapabilitiesPageData = {kCapabilitiesPage,
                                                                0x12,
                                                                0x3B,
                                                                0x00,
                                                                0x71,
                                                                0x63,
                                                                0x29,
                                                                0x00,
                                                                0x05,
                                                                0x84,
                                                                0x00,
                                                                0x10,
                                                                0x00,
                                                                0x80,
                                                                0x05,
                                                                0x84,
                                                                0x00,
                                                                0x00,
                                                                0x00,
                                                                0x00};

// GET CONFIGURATION header with current profile 0: no disc.
constexpr std::size_t kConfigurationHeaderLength = 8;
// GET EVENT STATUS NOTIFICATION: the media class, "no event, no disc, tray closed".
constexpr std::uint8_t kMediaEventClass = 0x04;
constexpr std::uint8_t kMediaEventClassSupported = 0x10;
constexpr std::size_t kEventStatusLength = 8;

void CopyReply(const std::uint8_t* data, std::size_t size, std::uint32_t allocation,
               std::uint8_t* buffer, std::uint32_t length) {
    const std::size_t count = std::min<std::size_t>({size, allocation, length});
    if (count > 0) {
        std::memcpy(buffer, data, count);
    }
}

}  // namespace

DeviceReply VirtualDrive::ModeSenseCapabilities(const std::uint8_t* cdb, std::uint8_t* buffer,
                                                std::uint32_t length) {
    const bool tenByte = cdb[0] == kOpVendor;
    const std::uint8_t page = cdb[2] & kPageCodeMask;
    if (page != kCapabilitiesPage) {
        return Fail(kSenseInvalidFieldInCdb);
    }
    const std::size_t header = tenByte ? kModeHeader10 : kModeHeader6;
    std::array<std::uint8_t, kModeHeader10 + kCapabilitiesPageData.size()> data{};
    const std::size_t total = header + kCapabilitiesPageData.size();
    if (tenByte) {
        PutBigEndian16(data.data(), static_cast<std::uint16_t>(total - 2));
    } else {
        data[0] = static_cast<std::uint8_t>(total - 1);
    }
    std::copy(kCapabilitiesPageData.begin(), kCapabilitiesPageData.end(), data.begin() + header);
    const std::uint32_t allocation = tenByte ? GetBigEndian16(cdb + 7) : cdb[4];
    CopyReply(data.data(), total, allocation, buffer, length);
    return {};
}

std::optional<DeviceReply> VirtualDrive::MediaCommand(const std::uint8_t* cdb, std::uint8_t* buffer,
                                                      std::uint32_t length) {
    switch (cdb[0]) {
        case kOpModeSense6:
            return ModeSenseCapabilities(cdb, buffer, length);
        case kOpPreventAllow:
            return DeviceReply{};
        case kOpReadCapacity:
        case kOpReadToc:
        case kOpReadDiscInformation:
            return Fail(kSenseMediumNotPresent);
        case kOpGetConfiguration: {
            std::array<std::uint8_t, kConfigurationHeaderLength> data{};
            data[3] = kConfigurationHeaderLength - 4;
            CopyReply(data.data(), data.size(), GetBigEndian16(cdb + 7), buffer, length);
            return DeviceReply{};
        }
        case kOpGetEventStatus: {
            std::array<std::uint8_t, kEventStatusLength> data{};
            data[1] = kEventStatusLength - 2;
            data[2] = kMediaEventClass;
            data[3] = kMediaEventClassSupported;
            CopyReply(data.data(), data.size(), GetBigEndian16(cdb + 7), buffer, length);
            return DeviceReply{};
        }
        default:
            return std::nullopt;
    }
}

}  // namespace troz
