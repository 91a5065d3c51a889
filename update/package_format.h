// The firmware package (.tfs): a 64-byte header, then the images at offset 64. Every field
// is little-endian and read by offset from the header bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "update/package_state.h"

namespace troz {

constexpr std::size_t kPackageHeaderSize = 64;
// One block at most, and one buffer per operation: a package is never read whole.
constexpr std::uint32_t kWorkingBufferSize = 65535;

constexpr char kPackageMagic[] = "TROZ FILE SYSTEM";
// The magic is compared as a zero-terminated string: 16 characters and the zero after them.
constexpr std::size_t kMagicCompareLength = 17;

constexpr std::size_t kFormatOffset = 24;
constexpr std::size_t kScrambleFlagOffset = 25;
constexpr std::size_t kChecksumOffset = 32;  // the image count in a multi-image package
constexpr std::size_t kBlockCountOffset = 34;
constexpr std::size_t kBlockSizeTableOffset = 36;
constexpr std::size_t kImageChecksumTableOffset = 52;

constexpr int kBlockSizeTableEntries = 8;
constexpr int kImageChecksumEntries = 6;
constexpr std::uint8_t kFormatMultiImage = 16;
constexpr std::uint8_t kScrambled = 1;

// The buffered download sends a block with two length bytes in front, in the same buffer.
constexpr std::uint32_t kBlockLengthBytes = 2;
constexpr std::uint32_t kLargestBlockSize = kWorkingBufferSize - kBlockLengthBytes;

// Lines for a header the tool cannot handle safely. Everything that reads a package says
// the same thing about the same fault.
constexpr const char* kRefusalBlockCount = "Err:Firmware file has too many blocks!!";
constexpr const char* kRefusalImageIndex = "Err:Firmware image has no check sum!!";
constexpr const char* kRefusalImageSize = "Err:Firmware image size too large!!";
constexpr const char* kRefusalBlockSize = "Err:Firmware block too large!!";

class PackageHeader {
public:
    using Bytes = std::array<std::uint8_t, kPackageHeaderSize>;

    PackageHeader() = default;
    explicit PackageHeader(const Bytes& bytes) : bytes_(bytes) {}

    Bytes& RawBytes() { return bytes_; }
    const Bytes& RawBytes() const { return bytes_; }

    bool MagicMatches() const;
    std::uint8_t Format() const { return bytes_[kFormatOffset]; }
    std::uint8_t ScrambleFlag() const { return bytes_[kScrambleFlagOffset]; }
    bool IsMultiImage() const { return Format() == kFormatMultiImage; }
    bool IsScrambled() const { return ScrambleFlag() == kScrambled; }
    std::uint16_t Checksum() const { return Field16(kChecksumOffset); }
    std::uint16_t ImageCount() const { return Field16(kChecksumOffset); }
    std::uint16_t BlockCount() const { return Field16(kBlockCountOffset); }
    // Entries outside the tables read as 0; callers ask PackageRefusal before they rely on
    // an entry.
    std::uint16_t BlockSize(int index) const;
    std::uint16_t ImageChecksum(int imageIndex) const;

    void SetMagic();
    void SetFormat(std::uint8_t format) { bytes_[kFormatOffset] = format; }
    void SetScrambleFlag(std::uint8_t flag) { bytes_[kScrambleFlagOffset] = flag; }
    void SetChecksum(std::uint16_t value) { SetField16(kChecksumOffset, value); }
    void SetImageCount(std::uint16_t value) { SetField16(kChecksumOffset, value); }
    void SetBlockCount(std::uint16_t value) { SetField16(kBlockCountOffset, value); }
    void SetBlockSize(int index, std::uint16_t size);
    void SetImageChecksum(int imageIndex, std::uint16_t value);

private:
    std::uint16_t Field16(std::size_t offset) const;
    void SetField16(std::size_t offset, std::uint16_t value);

    Bytes bytes_{};
};

// Sum of all eight block size table entries, whatever the block count, modulo 65536.
std::uint16_t ImageSize(const PackageHeader& header);
// The same sum without the wrap, to tell whether the 16-bit image size misplaces images.
std::uint32_t BlockSizeTableTotal(const PackageHeader& header);

// Where the picked image starts: 64 in a single-image package; 64 + image size x image index
// in a multi-image package, in 32-bit arithmetic. The image size is taken from the header
// just read, so it always describes the file being read.
std::uint32_t ImagePosition(const PackageHeader& header, const PackageState& state);
std::uint32_t ImagePosition(const PackageHeader& header, std::int32_t imageIndex);

// The checksum field in a single-image package, the image checksum table entry otherwise.
std::uint16_t ExpectedChecksum(const PackageHeader& header, std::int32_t imageIndex);

// The refusal line when this header and image cannot be read safely, or nothing. Every
// reader of a package asks this before it reads anything past the header.
std::optional<std::string> PackageRefusal(const PackageHeader& header, std::int32_t imageIndex);

// Undoes the scrambling of one block (or of one scan window) in place. The running value
// starts at the first stored byte + 2, so the first byte always comes out as 0x02.
void Descramble(std::uint8_t* buffer, std::uint32_t length);

// The value sequence of Descramble from a given starting value. Because the per-byte
// formula is its own inverse, the writer scrambles a block with it too.
void ApplyScrambleSequence(std::uint8_t* buffer, std::uint32_t length, std::uint8_t startValue);

// The Open step takes only files whose extension, the text after the last "." of the whole
// path, is "tfs" in any letter case.
bool HasPackageExtension(const std::string& path);

// Sum of the bytes, modulo 65536.
std::uint16_t SumBytes(const std::uint8_t* buffer, std::uint32_t length);

}  // namespace troz
