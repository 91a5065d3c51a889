#include "virtual/firmware_staging.h"

#include <algorithm>

#include "drive/bytes.h"

namespace troz {

void FirmwareStaging::StoreBlock(std::uint8_t blockNumber, const std::uint8_t* data,
                                 std::uint32_t length) {
    if (blockNumber == 0) {
        Clear();
    }
    transferImages_.erase(blockNumber);
    downloadedBlocks_[blockNumber].assign(data, data + length);
}

bool FirmwareStaging::StorePiece(std::uint32_t bufferOffset, const std::uint8_t* data,
                                 std::uint32_t length) {
    const auto blockNumber = static_cast<std::uint8_t>(bufferOffset >> kBlockOffsetShift);
    const std::uint32_t offset = bufferOffset & 0xFFFF;
    if (length > kMaxTransferImage - offset) {
        return false;
    }
    if (bufferOffset == 0) {
        Clear();
    }
    downloadedBlocks_.erase(blockNumber);
    TransferImage& image = transferImages_[blockNumber];
    const std::uint32_t end = offset + length;
    if (image.bytes.size() < end) {
        image.bytes.resize(end);
        image.received.resize(end);
    }
    std::copy(data, data + length, image.bytes.begin() + offset);
    std::fill(image.received.begin() + offset, image.received.begin() + end, true);
    image.end = std::max(image.end, end);
    return true;
}

void FirmwareStaging::Clear() {
    downloadedBlocks_.clear();
    transferImages_.clear();
}

std::optional<std::vector<std::uint8_t>> FirmwareStaging::Assembled(const TransferImage& image) {
    if (image.end < kTransferImageHeader || !image.received[0] || !image.received[1]) {
        return std::nullopt;
    }
    const std::uint32_t blockSize = GetBigEndian16(image.bytes.data());
    // Pieces short of the length in front, or past it, leave the block unusable.
    if (image.end != blockSize + kTransferImageHeader ||
        !std::all_of(image.received.begin(), image.received.end(), [](bool b) { return b; })) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(image.bytes.begin() + kTransferImageHeader, image.bytes.end());
}

std::optional<std::vector<std::uint8_t>> FirmwareStaging::Block(std::uint8_t blockNumber) const {
    if (const auto image = transferImages_.find(blockNumber); image != transferImages_.end()) {
        return Assembled(image->second);
    }
    if (const auto block = downloadedBlocks_.find(blockNumber); block != downloadedBlocks_.end()) {
        return block->second;
    }
    return std::nullopt;
}

bool FirmwareStaging::HoldsBlocksFrom(std::uint8_t firstBeyond) const {
    const auto beyond = [firstBeyond](const auto& entry) { return entry.first >= firstBeyond; };
    return std::any_of(downloadedBlocks_.begin(), downloadedBlocks_.end(), beyond) ||
           std::any_of(transferImages_.begin(), transferImages_.end(), beyond);
}

std::optional<Sense> FirmwareStaging::CheckTrigger(std::uint8_t blockCount,
                                                   std::optional<std::uint16_t> checksum) const {
    // An empty image is no firmware: the drive does not erase itself for it.
    if (blockCount == 0 || HoldsBlocksFrom(blockCount)) {
        return kSenseInvalidFieldInCdb;
    }
    std::uint16_t sum = 0;
    for (std::uint8_t n = 0; n < blockCount; ++n) {
        const auto block = Block(n);
        if (!block) {
            return kSenseInvalidFieldInCdb;
        }
        for (const std::uint8_t byte : *block) {
            sum = static_cast<std::uint16_t>(sum + byte);
        }
    }
    if (checksum && sum != *checksum) {
        return kSenseInvalidFieldInParameters;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> FirmwareStaging::Image(std::uint8_t blockCount) const {
    std::vector<std::uint8_t> image;
    for (std::uint8_t n = 0; n < blockCount; ++n) {
        if (const auto block = Block(n)) {
            image.insert(image.end(), block->begin(), block->end());
        }
    }
    return image;
}

}  // namespace troz
