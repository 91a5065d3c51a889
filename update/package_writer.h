// Builds firmware packages from images: the inverse of the reader. The command line's pack
// and the tests make every package with it; no binary package is kept anywhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace troz {

using PackageBlock = std::vector<std::uint8_t>;
using PackageImage = std::vector<PackageBlock>;  // the blocks of one image, in order

struct PackageContents {
    bool multiImage = false;
    bool scrambled = false;
    // Every image has the same block sizes: the header has one block size table.
    std::vector<PackageImage> images;
};

// Fills the header (magic, format, scramble flag, block count and sizes, checksum or image
// count and image checksums) and appends the images, each block scrambled on its own in a
// scrambled package. False with one line in error for contents the tool would not read.
bool WritePackage(const PackageContents& contents, std::vector<std::uint8_t>& package,
                  std::string& error);

// Cuts an image into blocks of the given sizes, which must add up to its length.
bool SplitImage(const std::vector<std::uint8_t>& image,
                const std::vector<std::uint16_t>& blockSizes, PackageImage& blocks,
                std::string& error);

// Block sizes for an image of the given length: as many blocks of the largest size as
// needed, the last one shorter. Empty when the image needs more than eight blocks.
std::vector<std::uint16_t> DefaultBlockSizes(std::size_t imageLength);

struct ModelRecordFields {
    std::string vendor;    // up to 8 characters, padded with spaces
    std::string product;   // up to 16 characters, padded with spaces
    std::string revision;  // up to 4 characters, padded with spaces
    std::array<std::uint8_t, 2> modelCode{};
};

// Writes an INQUIRY-shaped identification block (signature 05 80 00 02 1F, then vendor,
// product, revision, and the model code at INQUIRY bytes 38-39) with its signature at the
// given image offset, which must be 64 or more and leave the whole record inside the
// image's first 65535 bytes.
bool PlaceModelRecord(std::vector<std::uint8_t>& image, std::size_t offset,
                      const ModelRecordFields& fields, std::string& error);

// An image of the given block sizes filled with reproducible bytes, each block starting
// with 0x02 so that it can be scrambled.
std::vector<std::uint8_t> MakeFillerImage(const std::vector<std::uint16_t>& blockSizes,
                                          std::uint32_t seed);

}  // namespace troz
