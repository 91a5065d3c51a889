#include "update/package_format.h"

#include <gtest/gtest.h>

#include <numeric>
#include <ostream>
#include <vector>

namespace troz {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Descramble, GivesTheDocumentedBytesForZeroToNine) {
    Bytes buffer = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    Descramble(buffer.data(), 10);
    EXPECT_EQ(buffer, (Bytes{0x02, 0x3A, 0x72, 0xAA, 0xE2, 0x1A, 0x52, 0x8A, 0x3E, 0x76}));
}

TEST(Descramble, ChangesExactlyTheGivenLength) {
    for (const std::uint32_t length : {1u, 7u, 9u, 15u, 511u, 513u, 1030u}) {
        Bytes buffer(length + 16, 0xC3);
        Descramble(buffer.data(), length);
        EXPECT_EQ(buffer[0], 0x02) << length;
        for (std::uint32_t i = length; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], 0xC3) << "length " << length << " touched byte " << i;
        }
    }
}

TEST(Descramble, LengthZeroChangesNothing) {
    Bytes buffer = {0x10, 0x20};
    Descramble(buffer.data(), 0);
    EXPECT_EQ(buffer, (Bytes{0x10, 0x20}));
}

// Byte by byte, the way the value sequence is defined: the fast version must agree with it
// far past the point where its 512-byte pattern repeats.
Bytes ReferenceDescramble(Bytes buffer) {
    std::uint8_t value = static_cast<std::uint8_t>(buffer[0] + 2);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const std::size_t j = i % 8;
        buffer[i] = static_cast<std::uint8_t>(value + 57 * j - buffer[i]);
        if (j == 7) {
            value = static_cast<std::uint8_t>(value * 35);
        }
    }
    return buffer;
}

TEST(Descramble, MatchesTheByteByByteDefinitionOverAWholeBlock) {
    for (const std::uint8_t first : {0x00, 0x01, 0x7F, 0xFE, 0xFF}) {
        Bytes buffer(kWorkingBufferSize);
        std::iota(buffer.begin(), buffer.end(), static_cast<std::uint8_t>(0x31));
        buffer[0] = first;
        const Bytes expected = ReferenceDescramble(buffer);
        Descramble(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        EXPECT_EQ(buffer, expected) << "first byte " << int{first};
    }
}

TEST(Descramble, ScramblingWithTheSameSequenceRoundTripsABlockStartingWith02) {
    Bytes plain(3000);
    std::iota(plain.begin(), plain.end(), static_cast<std::uint8_t>(7));
    plain[0] = 0x02;
    Bytes stored = plain;
    ApplyScrambleSequence(stored.data(), static_cast<std::uint32_t>(stored.size()), 0x9D);
    EXPECT_EQ(stored[0], 0x9B);  // the starting value minus 2
    Descramble(stored.data(), static_cast<std::uint32_t>(stored.size()));
    EXPECT_EQ(stored, plain);
}

TEST(SumBytes, WrapsModulo65536) {
    const Bytes ones(65536, 0x01);
    EXPECT_EQ(SumBytes(ones.data(), 65536), 0);
    EXPECT_EQ(SumBytes(ones.data(), 65535), 0xFFFF);
    const Bytes high(4099, 0xFF);
    EXPECT_EQ(SumBytes(high.data(), 4099), static_cast<std::uint16_t>(4099 * 0xFF));
    EXPECT_EQ(SumBytes(high.data(), 0), 0);
}

PackageHeader HeaderWith(std::uint8_t format, std::uint8_t scrambleFlag) {
    PackageHeader header;
    header.SetMagic();
    header.SetFormat(format);
    header.SetScrambleFlag(scrambleFlag);
    return header;
}

TEST(PackageHeaderFields, OnlyFormat16IsMultiImageAndOnlyFlag1Scrambles) {
    for (const std::uint8_t value : {0, 1, 2, 15, 17, 0x90, 0xFF}) {
        EXPECT_FALSE(HeaderWith(value, 0).IsMultiImage()) << int{value};
        if (value != 1) {
            EXPECT_FALSE(HeaderWith(0, value).IsScrambled()) << int{value};
        }
    }
    EXPECT_TRUE(HeaderWith(16, 0).IsMultiImage());
    EXPECT_TRUE(HeaderWith(0, 1).IsScrambled());
}

TEST(PackageHeaderFields, AreLittleEndianAtTheirOffsets) {
    PackageHeader::Bytes bytes{};
    bytes[32] = 0x34, bytes[33] = 0x12;  // checksum / image count
    bytes[34] = 0x03;                    // block count
    bytes[36 + 2 * 7] = 0xCD, bytes[36 + 2 * 7 + 1] = 0xAB;
    bytes[52 + 2 * 5] = 0x01, bytes[52 + 2 * 5 + 1] = 0x80;
    const PackageHeader header(bytes);
    EXPECT_EQ(header.Checksum(), 0x1234);
    EXPECT_EQ(header.ImageCount(), 0x1234);
    EXPECT_EQ(header.BlockCount(), 3);
    EXPECT_EQ(header.BlockSize(7), 0xABCD);
    EXPECT_EQ(header.ImageChecksum(5), 0x8001);
    EXPECT_EQ(header.BlockSize(8), 0);  // past the table: nothing is read
    EXPECT_EQ(header.ImageChecksum(6), 0);
    EXPECT_EQ(header.ImageChecksum(-1), 0);
}

TEST(PackageHeaderFields, MagicNeedsItsTerminatorAndUpperCase) {
    PackageHeader header = HeaderWith(0, 0);
    EXPECT_TRUE(header.MagicMatches());
    header.RawBytes()[16] = ' ';
    EXPECT_FALSE(header.MagicMatches());
    header.SetMagic();
    header.RawBytes()[1] = 'r';
    EXPECT_FALSE(header.MagicMatches());
}

TEST(ImagePlacement, EightBlocksOf4096PutImage2At65600) {
    PackageHeader header = HeaderWith(kFormatMultiImage, 0);
    for (int i = 0; i < 8; ++i) {
        header.SetBlockSize(i, 4096);
    }
    header.SetBlockCount(2);  // the image size counts all eight entries regardless
    EXPECT_EQ(ImageSize(header), 32768);
    EXPECT_EQ(ImagePosition(header, PackageState{{}, 2, 0}), 65600u);
    EXPECT_EQ(ImagePosition(header, 0), 64u);
}

TEST(ImagePlacement, SingleImageIsAt64WhateverImageIndexAnEarlierPackageLeft) {
    PackageHeader header = HeaderWith(0, 0);
    header.SetBlockSize(0, 4096);
    EXPECT_EQ(ImagePosition(header, PackageState{{}, 3, 4096}), 64u);
}

TEST(ImagePlacement, ImageSizeWrapsModulo65536) {
    PackageHeader header = HeaderWith(kFormatMultiImage, 0);
    for (int i = 0; i < 8; ++i) {
        header.SetBlockSize(i, 8200);
    }
    EXPECT_EQ(BlockSizeTableTotal(header), 65600u);
    EXPECT_EQ(ImageSize(header), 64);
}

TEST(ExpectedChecksumChoice, SingleUsesChecksumMultiUsesTableEntry) {
    PackageHeader header = HeaderWith(0, 0);
    header.SetChecksum(0x1111);
    header.SetImageChecksum(2, 0x2222);
    EXPECT_EQ(ExpectedChecksum(header, 2), 0x1111);
    header.SetFormat(kFormatMultiImage);
    EXPECT_EQ(ExpectedChecksum(header, 2), 0x2222);
}

struct RefusalCase {
    const char* name;
    std::uint8_t format;
    std::uint16_t blockCount;
    std::vector<std::uint16_t> blockSizes;
    std::int32_t imageIndex;
    const char* refusal;  // null: the header can be read
};

// The case by its name in the test listing, not as raw bytes.
void PrintTo(const RefusalCase& x, std::ostream* out) {
    *out << x.name;
}

class PackageRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(PackageRefusals, NameTheFaultOrLetThePackageThrough) {
    const RefusalCase& c = GetParam();
    PackageHeader header = HeaderWith(c.format, 0);
    header.SetBlockCount(c.blockCount);
    for (std::size_t i = 0; i < c.blockSizes.size(); ++i) {
        header.SetBlockSize(static_cast<int>(i), c.blockSizes[i]);
    }
    const auto refusal = PackageRefusal(header, c.imageIndex);
    if (c.refusal == nullptr) {
        EXPECT_FALSE(refusal.has_value()) << *refusal;
    } else {
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(*refusal, c.refusal);
    }
}

constexpr std::uint8_t kSingle = 0;
constexpr std::uint8_t kMulti = kFormatMultiImage;

INSTANTIATE_TEST_SUITE_P(
    Headers, PackageRefusals,
    ::testing::Values(
        RefusalCase{"EightLargestBlocks", kSingle, 8, std::vector<std::uint16_t>(8, 65533), 0,
                    nullptr},
        RefusalCase{"NineBlocks", kSingle, 9, {100}, 0, kRefusalBlockCount},
        RefusalCase{"BlockCount65535", kMulti, 65535, {100}, 0, kRefusalBlockCount},
        RefusalCase{"BlockTooLargeForLengthBytes", kSingle, 2, {100, 65534}, 0, kRefusalBlockSize},
        RefusalCase{"OversizedEntryPastBlockCount", kSingle, 1, {100, 65535}, 0, nullptr},
        RefusalCase{"SingleIgnoresImageIndex", kSingle, 1, {100}, 9, nullptr},
        RefusalCase{"MultiImage5", kMulti, 1, {100}, 5, nullptr},
        RefusalCase{"MultiImage6", kMulti, 1, {100}, 6, kRefusalImageIndex},
        RefusalCase{"MultiNegativeIndex", kMulti, 1, {100}, -1, kRefusalImageIndex},
        RefusalCase{"MultiSizes65535", kMulti, 2, {65000, 535}, 0, nullptr},
        RefusalCase{"MultiSizes65536", kMulti, 2, {65000, 536}, 0, kRefusalImageSize},
        RefusalCase{"MultiWrapCountsUnusedEntries",
                    kMulti,
                    1,
                    {100, 0, 0, 0, 0, 0, 0, 65436},
                    0,
                    kRefusalImageSize},
        RefusalCase{"SingleMaySumPast65535", kSingle, 2, {65000, 536}, 0, nullptr}),
    [](const ::testing::TestParamInfo<RefusalCase>& param) { return param.param.name; });

TEST(PackageExtension, IsTheTextAfterTheLastDotInAnyCase) {
    EXPECT_TRUE(HasPackageExtension("fw.tfs"));
    EXPECT_TRUE(HasPackageExtension("C:\\dir.x\\FW.TfS"));
    EXPECT_FALSE(HasPackageExtension("fw.old\\PKG"));
    EXPECT_FALSE(HasPackageExtension("fw"));
    EXPECT_FALSE(HasPackageExtension("fw.tfsx"));
    EXPECT_FALSE(HasPackageExtension("fw.tf"));
}

}  // namespace
}  // namespace troz
