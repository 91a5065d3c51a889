#include "tests/support/virtual_rig.h"

#include <algorithm>
#include <cstring>

#include "drive/bytes.h"

namespace troz::test {

namespace {

constexpr std::size_t kSignatureOffset = 100;

void PutText(Block& block, std::size_t at, const std::string& text, std::size_t width) {
    std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(at), width, ' ');
    std::copy_n(text.begin(), std::min(width, text.size()),
                block.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::vector<Block> MakeFirmware(const DriveIdentity& identity,
                                const std::vector<std::size_t>& sizes) {
    std::vector<Block> blocks;
    for (std::size_t n = 0; n < sizes.size(); ++n) {
        Block block(sizes[n]);
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<std::uint8_t>((i * 7 + n * 13) & 0x7F);
        }
        blocks.push_back(block);
    }
    Block& first = blocks.at(0);
    if (first.size() >= kSignatureOffset + 107) {
        const std::uint8_t signature[] = {0x05, 0x80, 0x00, 0x02, 0x5B};
        std::copy(std::begin(signature), std::end(signature), first.begin() + kSignatureOffset);
        const std::size_t record = kSignatureOffset + 8;
        PutText(first, record, identity.vendor, 8);
        PutText(first, record + 8, identity.product, 16);
        PutText(first, record + 24, identity.revision, 4);
        first[record + 30] = identity.modelCode[0];
        first[record + 31] = identity.modelCode[1];
    }
    return blocks;
}

std::uint16_t Checksum(const std::vector<Block>& blocks) {
    std::uint16_t sum = 0;
    for (const Block& block : blocks) {
        for (const std::uint8_t byte : block) {
            sum = static_cast<std::uint16_t>(sum + byte);
        }
    }
    return sum;
}

std::vector<std::uint8_t> Concatenated(const std::vector<Block>& blocks) {
    std::vector<std::uint8_t> image;
    for (const Block& block : blocks) {
        image.insert(image.end(), block.begin(), block.end());
    }
    return image;
}

DriveIdentity DemoFirmwareIdentity() {
    return {"TROZ", "KVW-A100A", "1.10", {'A', '1'}};
}

DriveRig::DriveRig(const VirtualDriveConfig& config, VirtualTransport transport)
    : VirtualRig(transport), drive(clock, config) {
    Attach(drive, 0);
}

bool DriveRig::DownloadBlocks(const std::vector<Block>& blocks) {
    for (std::size_t n = 0; n < blocks.size(); ++n) {
        const Block& block = blocks[n];
        if (atapi->VendorDownload(block.data(), 5, static_cast<std::uint8_t>(n),
                                  static_cast<std::uint16_t>(block.size()), 0) != kCommandSuccess) {
            return false;
        }
    }
    return true;
}

bool DriveRig::WriteBufferBlocks(const std::vector<Block>& blocks, std::size_t pieceSize) {
    for (std::size_t n = 0; n < blocks.size(); ++n) {
        Block image(2);
        PutBigEndian16(image.data(), static_cast<std::uint16_t>(blocks[n].size()));
        image.insert(image.end(), blocks[n].begin(), blocks[n].end());
        for (std::size_t offset = 0; offset < image.size(); offset += pieceSize) {
            const std::size_t length = std::min(pieceSize, image.size() - offset);
            if (atapi->WriteBuffer(image.data() + offset, static_cast<std::uint8_t>(n),
                                   static_cast<std::uint16_t>(offset),
                                   static_cast<std::uint32_t>(length)) != kCommandSuccess) {
                return false;
            }
        }
    }
    return true;
}

std::uint8_t DriveRig::Trigger(std::uint8_t functionCode, std::uint8_t blockByte,
                               std::uint16_t checksum) {
    return atapi->VendorDownload(nullptr, functionCode, blockByte, 0, checksum);
}

int DriveRig::PollUntilReady(int limit) {
    for (int poll = 1; poll <= limit; ++poll) {
        if (atapi->TestUnitReady() == kCommandSuccess) {
            return poll;
        }
    }
    return -1;
}

}  // namespace troz::test
