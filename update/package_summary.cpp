#include "update/package_summary.h"

#include <algorithm>

#include "os/user_files.h"
#include "update/package_stream.h"
#include "update/validate_package.h"

namespace troz {

namespace {

constexpr const char* kOpenStep = "Open";
constexpr const char* kStartStep = "Start";

void InspectWindow(PackageStream& stream, const PackageHeader& header, std::uint8_t* buffer,
                   ImageInspection& image) {
    image.windowBytes = 0;
    if (stream.Seek(image.position)) {
        image.windowBytes = static_cast<std::uint32_t>(stream.Read(buffer, kWorkingBufferSize));
    }
    if (image.windowBytes < kWorkingBufferSize) {
        image.findings.push_back({kOpenStep, "",
                                  "fewer than 65535 bytes can be read from the image start (" +
                                      std::to_string(image.windowBytes) +
                                      "): the Open step stops at this image"});
    }
    // The Open step descrambles its window in one call, across block boundaries.
    if (header.IsScrambled()) {
        Descramble(buffer, image.windowBytes);
    }
    image.modelRecord = FindModelRecord(buffer, image.windowBytes);
    if (!image.modelRecord && image.windowBytes == kWorkingBufferSize) {
        image.findings.push_back(
            {kOpenStep, "", "no model record in the image's first 65535 bytes"});
    }
}

void InspectBlocks(PackageStream& stream, const PackageHeader& header, std::uint8_t* buffer,
                   ImageInspection& image) {
    if (const auto refusal = PackageRefusal(header, image.index)) {
        image.findings.push_back({kStartStep, *refusal, "the tool cannot read this image safely"});
        return;
    }
    std::uint16_t sum = 0;
    if (!stream.Seek(image.position) || !SumImage(stream, header, buffer, sum)) {
        image.findings.push_back(
            {kStartStep, "", "a block is empty or cannot be read in full: Start fails silently"});
        return;
    }
    image.computed = sum;
    if (image.expected && *image.expected != sum) {
        image.findings.push_back({kStartStep, kFileChecksumError, "the image checksum differs"});
    }
}

void InspectImage(PackageStream& stream, const PackageHeader& header, std::uint8_t* buffer,
                  ImageInspection& image) {
    image.position = ImagePosition(header, image.index);
    const int listed = std::min<int>(header.BlockCount(), kBlockSizeTableEntries);
    for (int i = 0; i < listed; ++i) {
        image.blockSizes.push_back(header.BlockSize(i));
    }
    if (!header.IsMultiImage() || image.index < kImageChecksumEntries) {
        image.expected = ExpectedChecksum(header, image.index);
    }
    InspectWindow(stream, header, buffer, image);
    InspectBlocks(stream, header, buffer, image);
}

void InspectHeader(PackageInspection& inspection) {
    if (inspection.headerBytesRead < kPackageHeaderSize) {
        inspection.findings.push_back({kStartStep, kNotTrozFileSystem,
                                       "the file holds only " +
                                           std::to_string(inspection.headerBytesRead) +
                                           " bytes of the 64-byte header"});
    } else if (!inspection.header.MagicMatches()) {
        inspection.findings.push_back(
            {kStartStep, kNotTrozFileSystem,
             "the header does not begin with \"TROZ FILE SYSTEM\" and a zero byte"});
    }
}

}  // namespace

bool InspectPackage(const std::string& path, PackageInspection& inspection, std::string& error) {
    inspection = PackageInspection{};
    PackageStream stream(path);
    if (!stream.IsOpen()) {
        error = "cannot open " + PrintableName(path) + ": " + stream.Failure();
        return false;
    }
    const auto buffer = AllocateWorkingBuffer();
    if (!buffer) {
        error = kMemoryAllocation;
        return false;
    }
    auto& headerBytes = inspection.header.RawBytes();
    inspection.headerBytesRead = stream.Read(headerBytes.data(), headerBytes.size());
    inspection.extensionMatches = HasPackageExtension(path);
    if (!inspection.extensionMatches) {
        inspection.findings.push_back(
            {kOpenStep, "", "the file name does not end in .tfs: the Open step ignores the file"});
    }
    InspectHeader(inspection);

    const PackageHeader& header = inspection.header;
    const std::size_t imageCount = header.IsMultiImage() ? header.ImageCount() : 1;
    if (imageCount == 0) {
        inspection.findings.push_back({kOpenStep, "", "the package holds no image"});
    }
    for (std::size_t k = 0; k < imageCount; ++k) {
        if (k == kInspectedImageLimit) {
            inspection.imagesNotListed = imageCount - k;
            break;
        }
        ImageInspection image;
        image.index = static_cast<std::int32_t>(k);
        InspectImage(stream, header, buffer.get(), image);
        const bool absent = image.windowBytes == 0;
        inspection.images.push_back(std::move(image));
        if (absent) {
            inspection.imagesNotListed = imageCount - k - 1;
            break;
        }
    }
    return true;
}

bool ImageAccepted(const PackageInspection& inspection, const ImageInspection& image) {
    return inspection.findings.empty() && image.findings.empty();
}

}  // namespace troz
