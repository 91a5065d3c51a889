#include "update/package_summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/package_files.h"
#include "update/validate_package.h"

namespace troz {
namespace {

using test::BuildPackage;
using test::TempPackageFile;
using ::testing::IsEmpty;

PackageImage ImageWithRecord(const std::vector<std::uint16_t>& sizes, std::uint8_t codeDigit) {
    std::vector<std::uint8_t> image = MakeFillerImage(sizes, codeDigit);
    std::string error;
    EXPECT_TRUE(
        PlaceModelRecord(image, 100, {"TROZ", "KVW-A100A", "1.10", {'A', codeDigit}}, error));
    PackageImage blocks;
    EXPECT_TRUE(SplitImage(image, sizes, blocks, error));
    return blocks;
}

PackageInspection Inspect(const std::vector<std::uint8_t>& package,
                          const std::string& suffix = ".tfs") {
    TempPackageFile file(package, suffix);
    PackageInspection inspection;
    std::string error;
    EXPECT_TRUE(InspectPackage(file.Path(), inspection, error)) << error;
    return inspection;
}

TEST(PackageInspecting, AGoodScrambledPackageHasNoFindings) {
    const std::vector<std::uint16_t> sizes(4, 16384);
    const auto inspection = Inspect(BuildPackage({false, true, {ImageWithRecord(sizes, '1')}}));
    EXPECT_THAT(inspection.findings, IsEmpty());
    ASSERT_EQ(inspection.images.size(), 1u);
    const ImageInspection& image = inspection.images[0];
    EXPECT_THAT(image.findings, IsEmpty());
    EXPECT_EQ(image.position, 64u);
    EXPECT_EQ(image.blockSizes, sizes);
    ASSERT_TRUE(image.computed && image.expected);
    EXPECT_EQ(*image.computed, *image.expected);
    ASSERT_TRUE(image.modelRecord.has_value());
    EXPECT_EQ(image.modelRecord->targetProduct, "TROZ    KVW-A100A       1.10");
    EXPECT_EQ(image.modelRecord->signatureOffset, 100u);
    EXPECT_TRUE(ImageAccepted(inspection, image));
}

TEST(PackageInspecting, ListsEveryImageOfAMultiImagePackageWithWhatTheStepsWouldDo) {
    const std::vector<std::uint16_t> sizes(8, 4096);
    auto package = BuildPackage(
        {true,
         false,
         {ImageWithRecord(sizes, '1'), ImageWithRecord(sizes, '2'), ImageWithRecord(sizes, '3')}});
    package[52 + 2] ^= 0x01;  // image 1's expected checksum
    const auto inspection = Inspect(package, ".bin");
    ASSERT_EQ(inspection.findings.size(), 1u);
    EXPECT_EQ(inspection.findings[0].step, "Open");
    ASSERT_EQ(inspection.images.size(), 3u);
    EXPECT_EQ(inspection.images[2].position, 65600u);
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(inspection.images[k].modelRecord.has_value());
        EXPECT_EQ(inspection.images[k].modelRecord->modelCode[1], '1' + k);
    }
    EXPECT_THAT(inspection.images[0].findings, IsEmpty());
    ASSERT_EQ(inspection.images[1].findings.size(), 1u);
    EXPECT_EQ(inspection.images[1].findings[0].line, kFileChecksumError);
    // The last image has only 32768 bytes after its start: the Open step stops there.
    ASSERT_EQ(inspection.images[2].findings.size(), 1u);
    EXPECT_EQ(inspection.images[2].findings[0].step, "Open");
    EXPECT_EQ(inspection.images[2].windowBytes, 32768u);
}

TEST(PackageInspecting, ShowsTheRefusalLineAndStopsAtTheFileEnd) {
    const std::vector<std::uint16_t> sizes(8, 4096);
    auto package = BuildPackage({true, false, {ImageWithRecord(sizes, '1')}});
    package[32] = 40;  // forty images claimed, one present
    package[0] = 'x';
    const auto inspection = Inspect(package);
    ASSERT_EQ(inspection.findings.size(), 1u);
    EXPECT_EQ(inspection.findings[0].line, kNotTrozFileSystem);
    ASSERT_EQ(inspection.images.size(), 2u);
    EXPECT_EQ(inspection.images[1].windowBytes, 0u);
    EXPECT_EQ(inspection.imagesNotListed, 38u);
    package[34] = 9;
    const auto refused = Inspect(package);
    EXPECT_EQ(refused.images[0].findings.back().line, kRefusalBlockCount);
    EXPECT_FALSE(refused.images[0].computed.has_value());
}

TEST(PackageInspecting, AMissingFileIsAnError) {
    PackageInspection inspection;
    std::string error;
    EXPECT_FALSE(InspectPackage(::testing::TempDir() + "missing/x.tfs", inspection, error));
    EXPECT_EQ(error,
              "cannot open " + ::testing::TempDir() + "missing/x.tfs: No such file or directory");
}

}  // namespace
}  // namespace troz
