#include "update/package_writer.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "update/model_record.h"
#include "update/package_format.h"

namespace troz {

namespace {

// Every block gets its own starting value, so no two blocks share a value sequence.
constexpr std::uint8_t kFirstStartValue = 0x5A;
constexpr std::uint8_t kStartValueStep = 0x3B;
// The first plain byte of a scrambled block, whatever its starting value.
constexpr std::uint8_t kPlainLeadByte = 0x02;

constexpr std::uint8_t kInquiryResponseFormat = 0x02;
constexpr std::size_t kVendorLength = 8;
constexpr std::size_t kProductLength = 16;
constexpr std::size_t kRevisionLength = 4;
constexpr std::size_t kVendorRecordOffset = 0;
constexpr std::size_t kProductRecordOffset = 8;
constexpr std::size_t kRevisionRecordOffset = 24;

// The filler generator: a linear congruential generator with the usual 32-bit constants.
constexpr std::uint32_t kFillerMultiplier = 1664525u;
constexpr std::uint32_t kFillerIncrement = 1013904223u;
constexpr int kFillerShift = 24;

std::string Format(const char* format, unsigned long a, unsigned long b = 0, unsigned long c = 0) {
    char line[200];
    std::snprintf(line, sizeof line, format, a, b, c);
    return line;
}

bool CheckShape(const PackageContents& contents, std::string& error) {
    const std::size_t imageCount = contents.images.size();
    if (imageCount == 0) {
        error = "the package has no image";
        return false;
    }
    if (!contents.multiImage && imageCount != 1) {
        error = Format("a single-image package holds one image, not %lu", imageCount);
        return false;
    }
    if (imageCount > static_cast<std::size_t>(kImageChecksumEntries)) {
        error = Format("a multi-image package holds at most %lu images, not %lu",
                       kImageChecksumEntries, imageCount);
        return false;
    }
    const PackageImage& first = contents.images.front();
    if (first.size() > static_cast<std::size_t>(kBlockSizeTableEntries)) {
        error = Format("an image has at most %lu blocks, not %lu", kBlockSizeTableEntries,
                       first.size());
        return false;
    }
    return true;
}

bool CheckBlocks(const PackageContents& contents, std::string& error) {
    const PackageImage& first = contents.images.front();
    for (std::size_t k = 0; k < contents.images.size(); ++k) {
        const PackageImage& image = contents.images[k];
        if (image.size() != first.size()) {
            error =
                Format("image %lu has %lu blocks, image 0 has %lu", k, image.size(), first.size());
            return false;
        }
        for (std::size_t n = 0; n < image.size(); ++n) {
            const std::size_t size = image[n].size();
            if (size != first[n].size()) {
                error = Format("block %lu of image %lu differs in size from block %lu of image 0",
                               n, k, n);
                return false;
            }
            if (size == 0 || size > kLargestBlockSize) {
                error = Format("block %lu holds %lu bytes; a block holds 1 to %lu bytes", n, size,
                               kLargestBlockSize);
                return false;
            }
            if (contents.scrambled && image[n][0] != kPlainLeadByte) {
                error = Format(
                    "block %lu of image %lu starts with 0x%02lx: a scrambled block must "
                    "start with 0x02, the byte that descrambling always gives there",
                    n, k, image[n][0]);
                return false;
            }
        }
    }
    return true;
}

std::size_t ImageLength(const PackageImage& image) {
    std::size_t length = 0;
    for (const PackageBlock& block : image) {
        length += block.size();
    }
    return length;
}

std::uint16_t ImageChecksum(const PackageImage& image) {
    std::uint16_t sum = 0;
    for (const PackageBlock& block : image) {
        sum = static_cast<std::uint16_t>(
            sum + SumBytes(block.data(), static_cast<std::uint32_t>(block.size())));
    }
    return sum;
}

PackageHeader MakeHeader(const PackageContents& contents) {
    PackageHeader header;
    header.SetMagic();
    header.SetFormat(contents.multiImage ? kFormatMultiImage : 0);
    header.SetScrambleFlag(contents.scrambled ? kScrambled : 0);
    const PackageImage& first = contents.images.front();
    header.SetBlockCount(static_cast<std::uint16_t>(first.size()));
    for (std::size_t n = 0; n < first.size(); ++n) {
        header.SetBlockSize(static_cast<int>(n), static_cast<std::uint16_t>(first[n].size()));
    }
    if (contents.multiImage) {
        header.SetImageCount(static_cast<std::uint16_t>(contents.images.size()));
        for (std::size_t k = 0; k < contents.images.size(); ++k) {
            header.SetImageChecksum(static_cast<int>(k), ImageChecksum(contents.images[k]));
        }
    } else {
        header.SetChecksum(ImageChecksum(first));
    }
    return header;
}

void CopyPadded(const std::string& text, std::size_t width, std::uint8_t* at) {
    std::fill_n(at, width, static_cast<std::uint8_t>(' '));
    std::copy(text.begin(), text.end(), at);
}

}  // namespace

bool WritePackage(const PackageContents& contents, std::vector<std::uint8_t>& package,
                  std::string& error) {
    if (!CheckShape(contents, error) || !CheckBlocks(contents, error)) {
        return false;
    }
    if (contents.multiImage && ImageLength(contents.images.front()) > 0xFFFF) {
        error = Format(
            "the blocks of an image add up to %lu bytes; in a multi-image package "
            "they must stay below 65536",
            ImageLength(contents.images.front()));
        return false;
    }
    const PackageHeader header = MakeHeader(contents);
    package.assign(header.RawBytes().begin(), header.RawBytes().end());
    std::uint8_t startValue = kFirstStartValue;
    for (const PackageImage& image : contents.images) {
        for (const PackageBlock& block : image) {
            const std::size_t blockStart = package.size();
            package.insert(package.end(), block.begin(), block.end());
            if (contents.scrambled) {
                ApplyScrambleSequence(package.data() + blockStart,
                                      static_cast<std::uint32_t>(block.size()), startValue);
                startValue = static_cast<std::uint8_t>(startValue + kStartValueStep);
            }
        }
    }
    return true;
}

bool SplitImage(const std::vector<std::uint8_t>& image,
                const std::vector<std::uint16_t>& blockSizes, PackageImage& blocks,
                std::string& error) {
    const std::size_t total = std::accumulate(blockSizes.begin(), blockSizes.end(), std::size_t{0});
    if (total != image.size()) {
        error =
            Format("the block sizes add up to %lu bytes, the image holds %lu", total, image.size());
        return false;
    }
    blocks.clear();
    auto next = image.begin();
    for (const std::uint16_t size : blockSizes) {
        blocks.emplace_back(next, next + size);
        next += size;
    }
    return true;
}

std::vector<std::uint16_t> DefaultBlockSizes(std::size_t imageLength) {
    std::vector<std::uint16_t> sizes;
    for (std::size_t left = imageLength; left > 0;) {
        const std::size_t size = std::min<std::size_t>(left, kLargestBlockSize);
        sizes.push_back(static_cast<std::uint16_t>(size));
        left -= size;
    }
    if (sizes.size() > static_cast<std::size_t>(kBlockSizeTableEntries)) {
        sizes.clear();
    }
    return sizes;
}

bool PlaceModelRecord(std::vector<std::uint8_t>& image, std::size_t offset,
                      const ModelRecordFields& fields, std::string& error) {
    // Compared before the sum, which a huge offset would wrap to a small one.
    const std::size_t limit = std::min<std::size_t>(image.size(), kWorkingBufferSize);
    const std::size_t recordLength = kModelRecordDistance + kModelRecordSize;
    const std::size_t end = offset + recordLength;
    if (offset < kModelRecordScanStart || offset > limit || limit - offset < recordLength) {
        error = Format(
            "a model record at image offset %lu does not fit: it needs image offsets "
            "%lu to %lu within the image's first 65535 bytes",
            offset, kModelRecordScanStart, end);
        return false;
    }
    if (fields.vendor.size() > kVendorLength || fields.product.size() > kProductLength ||
        fields.revision.size() > kRevisionLength) {
        error = "vendor, product and revision are at most 8, 16 and 4 characters long";
        return false;
    }
    std::uint8_t* signature = image.data() + offset;
    const std::uint8_t head[kSignatureLength] = {kSignatureDeviceType, kSignatureRemovable,
                                                 kSignatureVersion, kInquiryResponseFormat,
                                                 kSignatureShortLength};
    std::fill_n(signature, kModelRecordDistance + kModelRecordSize, 0);
    std::copy_n(head, kSignatureLength, signature);
    std::uint8_t* record = signature + kModelRecordDistance;
    CopyPadded(fields.vendor, kVendorLength, record + kVendorRecordOffset);
    CopyPadded(fields.product, kProductLength, record + kProductRecordOffset);
    CopyPadded(fields.revision, kRevisionLength, record + kRevisionRecordOffset);
    record[kRecordModelCodeOffset] = fields.modelCode[0];
    record[kRecordModelCodeOffset + 1] = fields.modelCode[1];
    return true;
}

std::vector<std::uint8_t> MakeFillerImage(const std::vector<std::uint16_t>& blockSizes,
                                          std::uint32_t seed) {
    // 0x05 never occurs, so the filler never holds a model record signature of its own.
    std::vector<std::uint8_t> image;
    std::uint32_t state = seed;
    for (const std::uint16_t size : blockSizes) {
        for (std::uint32_t i = 0; i < size; ++i) {
            state = state * kFillerMultiplier + kFillerIncrement;
            std::uint8_t value = static_cast<std::uint8_t>(state >> kFillerShift);
            if (value == kSignatureDeviceType) {
                value = 0;
            }
            image.push_back(i == 0 ? kPlainLeadByte : value);
        }
    }
    return image;
}

}  // namespace troz
