#include "update/validate_package.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "os/user_files.h"

namespace troz {

bool SumImage(PackageStream& stream, const PackageHeader& header, std::uint8_t* buffer,
              std::uint16_t& sum, std::uint64_t* blockDigests) {
    sum = 0;
    for (int i = 0; i < header.BlockCount(); ++i) {
        const std::uint16_t blockSize = header.BlockSize(i);
        if (blockSize == 0 || blockSize > kWorkingBufferSize ||
            stream.Read(buffer, blockSize) != blockSize) {
            return false;
        }
        if (header.IsScrambled()) {
            Descramble(buffer, blockSize);
        }
        sum = static_cast<std::uint16_t>(sum + SumBytes(buffer, blockSize));
        if (blockDigests != nullptr) {
            blockDigests[i] = BlockDigest(buffer, blockSize);
        }
    }
    return true;
}

bool ValidatePackage(const std::string& path, PackageHeader& headerCopy, const PackageState& state,
                     UpdateWindow& window) {
    CheckedPackage checked;  // closed again on the way out
    return ValidatePackage(path, headerCopy, state, window, checked);
}

bool ValidatePackage(const std::string& path, PackageHeader& headerCopy, const PackageState& state,
                     UpdateWindow& window, CheckedPackage& checked) {
    return ValidatePackage(std::make_shared<PackageStream>(path), path, headerCopy, state, window,
                           checked);
}

bool ValidatePackage(std::shared_ptr<PackageStream> opened, const std::string& path,
                     PackageHeader& headerCopy, const PackageState& state, UpdateWindow& window,
                     CheckedPackage& checked) {
    checked = CheckedPackage{};
    PackageStream& stream = *opened;
    // Stamped before the first read: a change made while the check reads is caught later.
    FileStamp stamp;
    if (!stream.IsOpen() || !stream.Stamp(stamp) || !stream.Seek(0)) {
        window.AddLogLine(kOpenFirmwareFileError);
        window.ShowFileError(
            "cannot open " + PrintableName(path) + ": " +
            (stream.IsOpen() ? std::string("cannot be examined") : stream.Failure()));
        return false;
    }
    auto& headerBytes = headerCopy.RawBytes();
    const std::size_t headerRead = stream.Read(headerBytes.data(), headerBytes.size());
    // The bytes a short file does not have must not keep the header of another package.
    std::fill(headerBytes.begin() + static_cast<std::ptrdiff_t>(headerRead), headerBytes.end(), 0);
    // A header cut short would read as block count 0 and checksum 0, which validates.
    if (headerRead < kPackageHeaderSize || !headerCopy.MagicMatches()) {
        window.AddLogLine(kNotTrozFileSystem);
        return false;
    }
    const std::int32_t imageIndex = headerCopy.IsMultiImage() ? state.imageIndex : 0;
    if (const auto refusal = PackageRefusal(headerCopy, imageIndex)) {
        window.AddLogLine(*refusal);
        return false;
    }
    for (int i = 0; i < headerCopy.BlockCount(); ++i) {
        if (headerCopy.BlockSize(i) == 0) {
            window.AddLogLine(kEmptyBlock);
            return false;
        }
    }
    if (!stream.Seek(ImagePosition(headerCopy, imageIndex))) {
        window.AddLogLine(kPackageTooShort);
        return false;
    }
    const auto buffer = AllocateWorkingBuffer();
    if (!buffer) {
        window.AddLogLine(kMemoryAllocation);
        return false;
    }
    std::uint16_t sum = 0;
    if (!SumImage(stream, headerCopy, buffer.get(), sum, checked.blockDigests.data())) {
        window.AddLogLine(kPackageTooShort);
        return false;
    }
    if (sum != ExpectedChecksum(headerCopy, imageIndex)) {
        window.AddLogLine(kFileChecksumError);
        return false;
    }
    checked.path = path;
    checked.stream = std::move(opened);
    checked.stamp = stamp;
    checked.sum = sum;
    return true;
}

}  // namespace troz
