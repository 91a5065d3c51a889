// The drive's download memory: the blocks of a firmware image as they arrive, by vendor
// download (one whole block per command) or by WRITE BUFFER (each block's transfer image,
// two length bytes then the block, assembled from pieces), until a trigger asks the drive
// to program them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "virtual/drive_config.h"

namespace troz {

// A block holds at most 65535 bytes; its transfer image has two length bytes in front.
constexpr std::uint32_t kMaxBlockSize = 65535;
constexpr std::uint32_t kTransferImageHeader = 2;
constexpr std::uint32_t kMaxTransferImage = kMaxBlockSize + kTransferImageHeader;
// A WRITE BUFFER offset is block number x 65536 + the offset within the transfer image.
constexpr std::uint32_t kBlockOffsetShift = 16;

class FirmwareStaging {
public:
    // Block 0 begins a new download: whatever an earlier attempt left is dropped.
    void StoreBlock(std::uint8_t blockNumber, const std::uint8_t* data, std::uint32_t length);
    // One WRITE BUFFER piece at its 24-bit buffer offset. False, and nothing stored, when the
    // piece reaches past the largest transfer image. The piece at offset 0 begins a new
    // download.
    bool StorePiece(std::uint32_t bufferOffset, const std::uint8_t* data, std::uint32_t length);
    void Clear();

    // The refusal a trigger for blockCount blocks with this checksum gets, or none when
    // blocks 0 to blockCount - 1 are all complete, nothing else is held, and their 16-bit
    // byte sum is the checksum. Without a checksum (a trigger whose argument never reached
    // the drive) the sum is not compared.
    std::optional<Sense> CheckTrigger(std::uint8_t blockCount,
                                      std::optional<std::uint16_t> checksum) const;
    // Blocks 0 to blockCount - 1 back to back (call after CheckTrigger accepted them).
    std::vector<std::uint8_t> Image(std::uint8_t blockCount) const;

    // The block as the drive holds it now, if it is complete.
    std::optional<std::vector<std::uint8_t>> Block(std::uint8_t blockNumber) const;

private:
    struct TransferImage {
        std::vector<std::uint8_t> bytes;
        std::vector<bool> received;
        std::uint32_t end = 0;
    };

    static std::optional<std::vector<std::uint8_t>> Assembled(const TransferImage& image);
    bool HoldsBlocksFrom(std::uint8_t firstBeyond) const;

    std::map<std::uint8_t, std::vector<std::uint8_t>> downloadedBlocks_;
    std::map<std::uint8_t, TransferImage> transferImages_;
};

}  // namespace troz
