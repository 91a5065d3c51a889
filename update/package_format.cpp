#include "update/package_format.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "drive/bytes.h"

namespace troz {

namespace {

constexpr std::uint32_t kGroupLength = 8;
// Every group's value is multiplied by this for the next group.
constexpr std::uint8_t kGroupFactor = 35;
// Within a group, the byte at position j gets the group's value + 57 j.
constexpr std::uint8_t kPositionStep = 57;
// Odd factors have an order dividing 64 modulo 256, so after 64 groups the values repeat:
// one 512-byte pattern describes the whole value sequence of a buffer.
constexpr std::uint32_t kPatternGroups = 64;
constexpr std::uint32_t kPatternLength = kPatternGroups * kGroupLength;
// Chunks of a fixed length let the compiler turn the byte loops into vector code.
constexpr std::uint32_t kSumChunkLength = 256;

constexpr std::string_view kPackageExtension = "tfs";

}  // namespace

bool PackageHeader::MagicMatches() const {
    return std::memcmp(bytes_.data(), kPackageMagic, kMagicCompareLength) == 0;
}

std::uint16_t PackageHeader::BlockSize(int index) const {
    if (index < 0 || index >= kBlockSizeTableEntries) {
        return 0;
    }
    return Field16(kBlockSizeTableOffset + 2 * static_cast<std::size_t>(index));
}

std::uint16_t PackageHeader::ImageChecksum(int imageIndex) const {
    if (imageIndex < 0 || imageIndex >= kImageChecksumEntries) {
        return 0;
    }
    return Field16(kImageChecksumTableOffset + 2 * static_cast<std::size_t>(imageIndex));
}

void PackageHeader::SetMagic() {
    std::memcpy(bytes_.data(), kPackageMagic, kMagicCompareLength);
}

void PackageHeader::SetBlockSize(int index, std::uint16_t size) {
    if (index >= 0 && index < kBlockSizeTableEntries) {
        SetField16(kBlockSizeTableOffset + 2 * static_cast<std::size_t>(index), size);
    }
}

void PackageHeader::SetImageChecksum(int imageIndex, std::uint16_t value) {
    if (imageIndex >= 0 && imageIndex < kImageChecksumEntries) {
        SetField16(kImageChecksumTableOffset + 2 * static_cast<std::size_t>(imageIndex), value);
    }
}

std::uint16_t PackageHeader::Field16(std::size_t offset) const {
    return GetLittleEndian16(bytes_.data() + offset);
}

void PackageHeader::SetField16(std::size_t offset, std::uint16_t value) {
    PutLittleEndian16(bytes_.data() + offset, value);
}

std::uint32_t BlockSizeTableTotal(const PackageHeader& header) {
    std::uint32_t total = 0;
    for (int i = 0; i < kBlockSizeTableEntries; ++i) {
        total += header.BlockSize(i);
    }
    return total;
}

std::uint16_t ImageSize(const PackageHeader& header) {
    return static_cast<std::uint16_t>(BlockSizeTableTotal(header));
}

std::uint32_t ImagePosition(const PackageHeader& header, std::int32_t imageIndex) {
    if (!header.IsMultiImage()) {
        return kPackageHeaderSize;
    }
    return static_cast<std::uint32_t>(kPackageHeaderSize) +
           static_cast<std::uint32_t>(ImageSize(header)) * static_cast<std::uint32_t>(imageIndex);
}

std::uint32_t ImagePosition(const PackageHeader& header, const PackageState& state) {
    return ImagePosition(header, state.imageIndex);
}

std::uint16_t ExpectedChecksum(const PackageHeader& header, std::int32_t imageIndex) {
    return header.IsMultiImage() ? header.ImageChecksum(imageIndex) : header.Checksum();
}

std::optional<std::string> PackageRefusal(const PackageHeader& header, std::int32_t imageIndex) {
    const int blockCount = header.BlockCount();
    if (blockCount > kBlockSizeTableEntries) {
        return kRefusalBlockCount;
    }
    if (header.IsMultiImage()) {
        if (imageIndex < 0 || imageIndex >= kImageChecksumEntries) {
            return kRefusalImageIndex;
        }
        if (BlockSizeTableTotal(header) > 0xFFFF) {
            return kRefusalImageSize;
        }
    }
    for (int i = 0; i < blockCount; ++i) {
        if (header.BlockSize(i) > kLargestBlockSize) {
            return kRefusalBlockSize;
        }
    }
    return std::nullopt;
}

void ApplyScrambleSequence(std::uint8_t* buffer, std::uint32_t length, std::uint8_t startValue) {
    std::array<std::uint8_t, kPatternLength> pattern;
    std::uint8_t value = startValue;
    for (std::uint32_t group = 0; group < kPatternLength; group += kGroupLength) {
        for (std::uint32_t j = 0; j < kGroupLength; ++j) {
            pattern[group + j] = static_cast<std::uint8_t>(value + kPositionStep * j);
        }
        value = static_cast<std::uint8_t>(value * kGroupFactor);
    }
    std::uint32_t done = 0;
    for (; length - done >= kPatternLength; done += kPatternLength) {
        std::uint8_t* chunk = buffer + done;
        for (std::uint32_t i = 0; i < kPatternLength; ++i) {
            chunk[i] = static_cast<std::uint8_t>(pattern[i] - chunk[i]);
        }
    }
    std::uint8_t* tail = buffer + done;
    for (std::uint32_t i = 0; i < length - done; ++i) {
        tail[i] = static_cast<std::uint8_t>(pattern[i] - tail[i]);
    }
}

void Descramble(std::uint8_t* buffer, std::uint32_t length) {
    if (length == 0) {
        return;
    }
    ApplyScrambleSequence(buffer, length, static_cast<std::uint8_t>(buffer[0] + 2));
}

bool HasPackageExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.size() - dot - 1 != kPackageExtension.size()) {
        return false;
    }
    return std::equal(kPackageExtension.begin(), kPackageExtension.end(), path.begin() + dot + 1,
                      [](char expected, char actual) {
                          return expected == std::tolower(static_cast<unsigned char>(actual));
                      });
}

std::uint16_t SumBytes(const std::uint8_t* buffer, std::uint32_t length) {
    // The checksum is 16 bits wide, so 16-bit lanes need no wider sum.
    std::uint16_t sum = 0;
    std::uint32_t done = 0;
    for (; length - done >= kSumChunkLength; done += kSumChunkLength) {
        const std::uint8_t* chunk = buffer + done;
        std::uint16_t chunkSum = 0;
        for (std::uint32_t i = 0; i < kSumChunkLength; ++i) {
            chunkSum = static_cast<std::uint16_t>(chunkSum + chunk[i]);
        }
        sum = static_cast<std::uint16_t>(sum + chunkSum);
    }
    for (std::uint32_t i = done; i < length; ++i) {
        sum = static_cast<std::uint16_t>(sum + buffer[i]);
    }
    return sum;
}

}  // namespace troz
