#include "update/package_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include "update/model_record.h"
#include "update/package_format.h"

namespace troz {
namespace {

using ::testing::HasSubstr;

PackageImage CountingImage(const std::vector<std::uint16_t>& sizes, std::uint8_t start) {
    PackageImage image;
    for (const std::uint16_t size : sizes) {
        PackageBlock block(size);
        for (std::size_t i = 0; i < size; ++i) {
            block[i] = static_cast<std::uint8_t>(start + i * 7);
        }
        block[0] = 0x02;
        image.push_back(block);
    }
    return image;
}

PackageHeader HeaderOf(const std::vector<std::uint8_t>& package) {
    PackageHeader header;
    std::copy_n(package.begin(), kPackageHeaderSize, header.RawBytes().begin());
    return header;
}

TEST(PackageWriting, SingleImageHeaderCarriesSizesAndChecksum) {
    const PackageImage image = CountingImage({300, 17}, 0x40);
    std::vector<std::uint8_t> package;
    std::string error;
    ASSERT_TRUE(WritePackage({false, false, {image}}, package, error)) << error;
    const PackageHeader header = HeaderOf(package);
    EXPECT_TRUE(header.MagicMatches());
    EXPECT_FALSE(header.IsMultiImage());
    EXPECT_FALSE(header.IsScrambled());
    EXPECT_EQ(header.BlockCount(), 2);
    EXPECT_EQ(header.BlockSize(0), 300);
    EXPECT_EQ(header.BlockSize(1), 17);
    EXPECT_EQ(header.BlockSize(2), 0);
    std::uint16_t sum = 0;
    for (const auto& block : image) {
        sum = static_cast<std::uint16_t>(sum + SumBytes(block.data(), block.size()));
    }
    EXPECT_EQ(header.Checksum(), sum);
    ASSERT_EQ(package.size(), 64u + 317);
    EXPECT_TRUE(std::equal(image[1].begin(), image[1].end(), package.begin() + 64 + 300));
}

TEST(PackageWriting, ScrambledBlocksDescrambleOneByOneToThePlainImage) {
    const std::vector<std::uint16_t> sizes = {1000, 4099, 8};
    const PackageImage image0 = CountingImage(sizes, 0x11);
    const PackageImage image1 = CountingImage(sizes, 0x99);
    std::vector<std::uint8_t> package;
    std::string error;
    ASSERT_TRUE(WritePackage({true, true, {image0, image1}}, package, error)) << error;
    const PackageHeader header = HeaderOf(package);
    EXPECT_TRUE(header.IsMultiImage());
    EXPECT_TRUE(header.IsScrambled());
    EXPECT_EQ(header.ImageCount(), 2);

    std::size_t offset = 64;
    std::vector<std::uint8_t> firstStoredBytes;
    for (const PackageImage* image : {&image0, &image1}) {
        for (const PackageBlock& plain : *image) {
            std::vector<std::uint8_t> block(package.begin() + offset,
                                            package.begin() + offset + plain.size());
            EXPECT_NE(block, plain);
            firstStoredBytes.push_back(block[0]);
            Descramble(block.data(), static_cast<std::uint32_t>(block.size()));
            EXPECT_EQ(block, plain);
            offset += plain.size();
        }
    }
    EXPECT_EQ(offset, package.size());
    // Every block carries its own starting value.
    std::sort(firstStoredBytes.begin(), firstStoredBytes.end());
    EXPECT_EQ(std::adjacent_find(firstStoredBytes.begin(), firstStoredBytes.end()),
              firstStoredBytes.end());
    EXPECT_NE(header.ImageChecksum(0), header.ImageChecksum(1));
    EXPECT_EQ(header.ImageChecksum(2), 0);
}

struct RefusedContents {
    const char* name;
    PackageContents contents;
    const char* message;
};

// The case by its name in the test listing, not as raw bytes.
void PrintTo(const RefusedContents& x, std::ostream* out) {
    *out << x.name;
}

class PackageWriterRefusals : public ::testing::TestWithParam<RefusedContents> {};

TEST_P(PackageWriterRefusals, SayWhatIsWrong) {
    std::vector<std::uint8_t> package;
    std::string error;
    EXPECT_FALSE(WritePackage(GetParam().contents, package, error));
    EXPECT_THAT(error, HasSubstr(GetParam().message));
}

PackageImage WithLeadByte(PackageImage image, std::size_t block, std::uint8_t lead) {
    image[block][0] = lead;
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Contents, PackageWriterRefusals,
    ::testing::Values(
        RefusedContents{"NoImage", {false, false, {}}, "no image"},
        RefusedContents{"TwoImagesInASingleImagePackage",
                        {false, false, {CountingImage({10}, 0), CountingImage({10}, 1)}},
                        "single-image package holds one image, not 2"},
        RefusedContents{"SevenImages",
                        {true, false, std::vector<PackageImage>(7, CountingImage({10}, 0))},
                        "at most 6 images, not 7"},
        RefusedContents{"NineBlocks",
                        {false, false, {CountingImage(std::vector<std::uint16_t>(9, 10), 0)}},
                        "at most 8 blocks, not 9"},
        RefusedContents{
            "EmptyBlock", {false, false, {PackageImage{PackageBlock{}}}}, "block 0 holds 0 bytes"},
        RefusedContents{"BlockTooLarge",
                        {false, false, {CountingImage({10, 65534}, 0)}},
                        "block 1 holds 65534 bytes; a block holds 1 to 65533 bytes"},
        RefusedContents{"ImagesOfDifferentBlocks",
                        {true, false, {CountingImage({10, 20}, 0), CountingImage({10, 21}, 0)}},
                        "block 1 of image 1 differs in size"},
        RefusedContents{"MultiImageOf65536Bytes",
                        {true, false, {CountingImage({65533, 3}, 0)}},
                        "add up to 65536 bytes"},
        RefusedContents{"ScrambledBlockNotStartingWith02",
                        {false, true, {WithLeadByte(CountingImage({10, 20}, 0), 1, 0x41)}},
                        "block 1 of image 0 starts with 0x41: a scrambled block must start with "
                        "0x02"}),
    [](const ::testing::TestParamInfo<RefusedContents>& param) { return param.param.name; });

TEST(PackageWriting, PlainBlocksMayStartWithAnyByte) {
    std::vector<std::uint8_t> package;
    std::string error;
    EXPECT_TRUE(WritePackage({false, false, {WithLeadByte(CountingImage({10}, 0), 0, 0x41)}},
                             package, error));
}

TEST(ModelRecordPlacement, IsFoundWithItsFields) {
    std::vector<std::uint8_t> image = MakeFillerImage({16384, 16384}, 7);
    std::string error;
    ASSERT_TRUE(PlaceModelRecord(image, 64, {"TROZ", "KVW-A100A", "1.10", {'A', '1'}}, error));
    const auto record = FindModelRecord(image.data(), image.size());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->signatureOffset, 64u);
    EXPECT_EQ(record->targetProduct, "TROZ    KVW-A100A       1.10");
    EXPECT_EQ(record->modelCode, (std::array<std::uint8_t, 2>{'A', '1'}));
}

TEST(ModelRecordPlacement, RefusesRecordsOutsideTheScanWindowOrWithLongFields) {
    std::vector<std::uint8_t> image(70000, 0);
    std::string error;
    const ModelRecordFields fields{"TROZ", "KVW-A100A", "1.10", {'A', '1'}};
    EXPECT_FALSE(PlaceModelRecord(image, 63, fields, error));
    EXPECT_THAT(error, HasSubstr("does not fit"));
    EXPECT_TRUE(PlaceModelRecord(image, 65535 - 107, fields, error));
    EXPECT_FALSE(PlaceModelRecord(image, 65535 - 106, fields, error));
    std::vector<std::uint8_t> small(200, 0);
    EXPECT_FALSE(PlaceModelRecord(small, 94, fields, error));
    // Offsets that wrap the end of the record around to a small value (pack took -100).
    EXPECT_FALSE(PlaceModelRecord(image, static_cast<std::size_t>(-100), fields, error));
    EXPECT_FALSE(PlaceModelRecord(image, static_cast<std::size_t>(-107), fields, error));
    EXPECT_FALSE(PlaceModelRecord(image, 64, {"TROZ", "KVW-A100A-LONGER-", "1.10", {}}, error));
    EXPECT_THAT(error, HasSubstr("at most 8, 16 and 4"));
}

TEST(FillerImages, StartEveryBlockWith02AndHoldNoSignature) {
    const std::vector<std::uint16_t> sizes = {16384, 16384, 16384, 16384};
    const auto image = MakeFillerImage(sizes, 1);
    ASSERT_EQ(image.size(), 65536u);
    for (std::size_t start = 0; start < image.size(); start += 16384) {
        EXPECT_EQ(image[start], 0x02);
    }
    EXPECT_FALSE(FindModelRecord(image.data(), 65535).has_value());
    EXPECT_EQ(MakeFillerImage(sizes, 1), image);
    EXPECT_NE(MakeFillerImage(sizes, 2), image);
}

TEST(ImageSplitting, CutsAtTheBlockSizesOrSaysWhyNot) {
    const std::vector<std::uint8_t> image = {1, 2, 3, 4, 5};
    PackageImage blocks;
    std::string error;
    ASSERT_TRUE(SplitImage(image, {2, 3}, blocks, error));
    EXPECT_EQ(blocks, (PackageImage{{1, 2}, {3, 4, 5}}));
    EXPECT_FALSE(SplitImage(image, {2, 2}, blocks, error));
    EXPECT_EQ(error, "the block sizes add up to 4 bytes, the image holds 5");
}

TEST(ImageSplitting, DefaultSizesUseTheLargestBlocks) {
    EXPECT_EQ(DefaultBlockSizes(100), (std::vector<std::uint16_t>{100}));
    EXPECT_EQ(DefaultBlockSizes(65534), (std::vector<std::uint16_t>{65533, 1}));
    EXPECT_EQ(DefaultBlockSizes(8 * 65533).size(), 8u);
    EXPECT_TRUE(DefaultBlockSizes(8 * 65533 + 1).empty());
    EXPECT_TRUE(DefaultBlockSizes(0).empty());
}

}  // namespace
}  // namespace troz
