// The Open step: the dialog, the extension rule, the scan for the model record, the choice
// of an image in a multi-image package, and what Start makes of a file it did not accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/workflow_rig.h"
#include "update/model_record.h"
#include "update/validate_package.h"

namespace troz::test {
namespace {

constexpr std::uint8_t kInquiry = 0x12;
const std::array<std::uint8_t, 2> kCodeA1 = {'A', '1'};
const std::array<std::uint8_t, 2> kCodeB2 = {'B', '2'};
const std::array<std::uint8_t, 2> kCodeC3 = {'C', '3'};
const std::array<std::uint8_t, 2> kCodeZ9 = {'Z', '9'};
const std::string kDemoTarget = "TROZ    KVW-A100A       1.10";
const std::string kOtherTarget = "TROZ    KVW-B200A       1.10";

std::vector<std::uint8_t> DemoImage() {
    return RecordImage(TrozFields("KVW-A100A", kCodeA1));
}

// The Open step on one KVW-A100A drive, with a first package already accepted so that
// every test can see whether an Open step kept or forgot it.
class OpenStep : public ::testing::Test {
protected:
    OpenStep() : rig(DirectDrive(DefaultIdentity())) {
        firstPath = rig.OpenPackage(SinglePackage(RecordImage(TrozFields("KVW-B200A", kCodeB2))));
        EXPECT_EQ(rig.window.targetProductText, kOtherTarget);
        rig.Forget();
    }

    // Nothing accepted: Edit1 empty, and Start refuses the file before any command.
    void ExpectNothingAccepted() {
        EXPECT_FALSE(rig.workflow->ImageChosen());
        EXPECT_EQ(rig.window.targetProductText, "");
        rig.Forget();
        rig.Start();
        EXPECT_EQ(rig.window.lines, std::vector<std::string>{kNoImageChosen});
        EXPECT_TRUE(rig.Watched(0).opcodes.empty());
    }

    WorkflowRig rig;
    std::string firstPath;
};

TEST_F(OpenStep, CancelChangesNothing) {
    const PackageState before = rig.workflow->State();
    rig.Open("");
    EXPECT_EQ(rig.window.packageFileName, firstPath);
    EXPECT_EQ(rig.window.targetProductText, kOtherTarget);
    EXPECT_TRUE(rig.workflow->ImageChosen());
    EXPECT_EQ(rig.workflow->State().modelCode, before.modelCode);
    EXPECT_TRUE(rig.window.lines.empty());
}

TEST(OpenStepCancel, LeavesStartWithoutAFirmware) {
    WorkflowRig rig(DirectDrive(DefaultIdentity()));
    rig.Open("");
    rig.Start();
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kNoFirmware});
}

TEST_F(OpenStep, AFileThatCannotBeOpenedIsNamedAndForgotten) {
    const std::string missing = ::testing::TempDir() + "troz_missing_package.tfs";
    rig.Open(missing);
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{"Err:Open File: " + missing + " Error!!"});
    EXPECT_EQ(rig.window.packageFileName, missing);
    ExpectNothingAccepted();
}

struct ExtensionCase {
    const char* name;
    const char* relativePath;
    bool accepted;
};

void PrintTo(const ExtensionCase& c, std::ostream* out) {
    *out << c.relativePath;
}

class OpenStepExtension : public OpenStep, public ::testing::WithParamInterface<ExtensionCase> {};

TEST_P(OpenStepExtension, OnlyTfsInAnyCaseAfterTheLastDotOfThePath) {
    const ExtensionCase& c = GetParam();
    TempPackageFile file(SinglePackage(DemoImage()), c.relativePath);
    rig.Open(file.Path());
    EXPECT_TRUE(rig.window.lines.empty());
    if (c.accepted) {
        EXPECT_EQ(rig.window.targetProductText, kDemoTarget);
    } else {
        ExpectNothingAccepted();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, OpenStepExtension,
    ::testing::Values(ExtensionCase{"Lower", "troz_ext_lower.tfs", true},
                      ExtensionCase{"Mixed", "troz_ext_mixed.tFs", true},
                      ExtensionCase{"Upper", "troz_ext_upper.TFS", true},
                      ExtensionCase{"DotInFolder", "troz_fw.old/PKG", false},
                      ExtensionCase{"LongerExtension", "troz_ext_longer.tfsx", false},
                      ExtensionCase{"ShorterExtension", "troz_ext_shorter.tf", false},
                      ExtensionCase{"TfsBeforeTheLastDot", "troz_ext_twice.tfs.bak", false},
                      ExtensionCase{"SeveralDots", "troz_ext_v1.2.tfs", true},
                      ExtensionCase{"TfsFolder", "troz_fw.tfs/PKG", false}),
    [](const auto& param) { return param.param.name; });

TEST(OpenStepExtensionWithoutDot, APathWithoutAnyDotFails) {
    // A name relative to the working folder: the temp folder's path may hold a dot.
    const std::string name = "troz_package_without_extension";
    std::FILE* out = std::fopen(name.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const std::vector<std::uint8_t> package = SinglePackage(DemoImage());
    std::fwrite(package.data(), 1, package.size(), out);
    std::fclose(out);
    WorkflowRig rig(DirectDrive(DefaultIdentity()));
    rig.Open(name);
    std::remove(name.c_str());
    EXPECT_FALSE(rig.workflow->ImageChosen());
    EXPECT_TRUE(rig.window.lines.empty());
}

TEST_F(OpenStep, AFileWithoutTheMagicIsScannedAndShownButRefusedAtStart) {
    std::vector<std::uint8_t> package = SinglePackage(DemoImage());
    package.at(0) = 'X';
    rig.OpenPackage(package);
    EXPECT_EQ(rig.window.targetProductText, kDemoTarget);
    rig.Forget();
    rig.Start();
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kNotTrozFileSystem});
    EXPECT_EQ(rig.window.progress, std::vector<int>{10});
    EXPECT_TRUE(rig.Watched(0).opcodes.empty());
}

// Writes a signature by hand: the package writer refuses offsets below 64.
void PutSignature(std::vector<std::uint8_t>& image, std::size_t offset, std::uint8_t length) {
    const std::uint8_t head[] = {0x05, 0x80, 0x00, 0xEE, length};
    std::copy(std::begin(head), std::end(head),
              image.begin() + static_cast<std::ptrdiff_t>(offset));
}

TEST_F(OpenStep, ASignatureBelowOffset64IsNeverFound) {
    std::vector<std::uint8_t> image = FillerImage(3);
    PutSignature(image, 10, 0x1F);
    image.at(10 + 8) = 'T';
    rig.OpenPackage(SinglePackage(image));
    ExpectNothingAccepted();
}

TEST_F(OpenStep, TheLowestSignatureFrom64OnWinsWithEitherAdditionalLength) {
    for (const std::uint8_t length : {std::uint8_t{0x1F}, std::uint8_t{0x5B}}) {
        std::vector<std::uint8_t> image = RecordImage(TrozFields("KVW-B200A", kCodeB2), 400);
        std::string error;
        ASSERT_TRUE(PlaceModelRecord(image, 64, TrozFields("KVW-A100A", kCodeA1), error));
        PutSignature(image, 64, length);
        PutSignature(image, 20, 0x1F);
        rig.OpenPackage(SinglePackage(image));
        EXPECT_EQ(rig.window.targetProductText, kDemoTarget) << int{length};
        EXPECT_EQ(rig.workflow->State().modelCode, kCodeA1);
    }
}

TEST_F(OpenStep, AZeroByteEndsTheTargetProduct) {
    std::vector<std::uint8_t> image = DemoImage();
    image.at(kRecordOffset + kModelRecordDistance + 10) = 0;
    rig.OpenPackage(SinglePackage(image));
    EXPECT_EQ(rig.window.targetProductText, "TROZ    KV");
}

TEST_F(OpenStep, AScrambledPackageIsScannedDescrambled) {
    rig.OpenPackage(SinglePackage(DemoImage(), true));
    EXPECT_EQ(rig.window.targetProductText, kDemoTarget);
    EXPECT_EQ(rig.workflow->State().imageIndex, 0);
}

TEST_F(OpenStep, AnImageShorterThanTheWindowEndsTheStepWithoutALine) {
    std::vector<std::uint8_t> package = SinglePackage(DemoImage());
    package.pop_back();
    rig.OpenPackage(package);
    EXPECT_TRUE(rig.window.lines.empty());
    ExpectNothingAccepted();
}

TEST_F(OpenStep, AFileShorterThanItsHeaderIsNoImage) {
    rig.OpenPackage({'T', 'R', 'O', 'Z'});
    EXPECT_TRUE(rig.window.lines.empty());
    ExpectNothingAccepted();
}

TEST(OpenStepSingleImage, TakesImage0WithoutAskingTheDrive) {
    WorkflowRig multi(DirectDrive(Identity("TROZ", "KVW-B200A", kCodeB2)));
    multi.OpenPackage(MultiPackage({DemoImage(), RecordImage(TrozFields("KVW-B200A", kCodeB2))}));
    ASSERT_EQ(multi.workflow->State().imageIndex, 1);
    multi.Forget();
    multi.OpenPackage(SinglePackage(RecordImage(TrozFields("KVW-B200A", kCodeB2))));
    EXPECT_EQ(multi.workflow->State().imageIndex, 0);
    EXPECT_EQ(multi.CountOf(0, kInquiry), 0);
}

// A multi-image package of three images, each with its own model record.
class MultiImageOpen : public ::testing::Test {
protected:
    static std::vector<std::uint8_t> Family() {
        return MultiPackage({DemoImage(), RecordImage(TrozFields("KVW-B200A", kCodeB2)),
                             RecordImage(TrozFields("KVW-C300A", kCodeC3))});
    }
};

TEST_F(MultiImageOpen, TakesTheImageWhoseModelCodeIsTheDrivesAskingOnce) {
    struct Case {
        std::array<std::uint8_t, 2> driveCode;
        std::int32_t imageIndex;
        std::string target;
    };
    for (const Case& c : {Case{kCodeA1, 0, kDemoTarget}, Case{kCodeB2, 1, kOtherTarget},
                          Case{kCodeC3, 2, "TROZ    KVW-C300A       1.10"}}) {
        WorkflowRig rig(DirectDrive(Identity("TROZ", "KVW-A100A", c.driveCode)));
        rig.OpenPackage(Family());
        EXPECT_EQ(rig.workflow->State().imageIndex, c.imageIndex);
        EXPECT_EQ(rig.workflow->State().modelCode, c.driveCode);
        EXPECT_EQ(rig.workflow->State().imageSize, 65535);
        EXPECT_EQ(rig.window.targetProductText, c.target);
        EXPECT_TRUE(rig.window.lines.empty());
        EXPECT_EQ(rig.CountOf(0, kInquiry), 1);
    }
}

TEST_F(MultiImageOpen, NoMatchingImageGivesOneRefusalAndNothingChosen) {
    WorkflowRig rig(DirectDrive(Identity("TROZ", "KVW-A100A", kCodeZ9)));
    rig.OpenPackage(Family());
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kRefusalModelCode});
    EXPECT_EQ(rig.CountOf(0, kInquiry), 1);
    EXPECT_EQ(rig.window.targetProductText, "");
    rig.Forget();
    rig.Start();
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kNoImageChosen});
}

TEST_F(MultiImageOpen, ImagesWithoutARecordAreSkipped) {
    WorkflowRig rig(DirectDrive(Identity("TROZ", "KVW-A100A", kCodeC3)));
    rig.OpenPackage(MultiPackage({FillerImage(1), RecordImage(TrozFields("KVW-C300A", kCodeC3))}));
    EXPECT_EQ(rig.workflow->State().imageIndex, 1);
    EXPECT_TRUE(rig.window.lines.empty());
}

TEST_F(MultiImageOpen, AnImageCountOf0ExaminesNothingButSetsTheImageSize) {
    WorkflowRig rig(DirectDrive(DefaultIdentity()));
    rig.OpenPackage(SinglePackage(DemoImage()));
    std::vector<std::uint8_t> package = Family();
    package.at(32) = 0;
    package.at(33) = 0;
    rig.Forget();
    rig.OpenPackage(package);
    EXPECT_EQ(rig.workflow->State().imageSize, 65535);
    EXPECT_EQ(rig.CountOf(0, kInquiry), 0);
    EXPECT_TRUE(rig.window.lines.empty());
    EXPECT_EQ(rig.window.targetProductText, "");
    EXPECT_FALSE(rig.workflow->ImageChosen());
    rig.Start();
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kNoImageChosen});
}

// Images past the checksum table cannot be validated, so they are not examined: a tiny
// image size with an image count of 65535 would otherwise scan the same bytes 65535 times.
TEST_F(MultiImageOpen, ImagesPastTheChecksumTableAreNotExamined) {
    WorkflowRig rig(DirectDrive(Identity("TROZ", "KVW-A100A", kCodeZ9)));
    std::vector<std::uint8_t> package =
        MultiPackage(std::vector<std::vector<std::uint8_t>>(6, DemoImage()));
    const std::vector<std::uint8_t> seventh = RecordImage(TrozFields("KVW-A100A", kCodeZ9));
    package.insert(package.end(), seventh.begin(), seventh.end());
    package.at(32) = 7;
    rig.OpenPackage(package);
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kRefusalModelCode});
    EXPECT_FALSE(rig.workflow->ImageChosen());
}

// Every image of an image size of 0 starts at offset 64: without a record in it, 65535 of
// them would be read and scanned in full, seconds with the window frozen.
TEST_F(MultiImageOpen, AHugeImageCountOfEmptyImagesEndsAtOnce) {
    WorkflowRig rig(DirectDrive(DefaultIdentity()));
    std::vector<std::uint8_t> package = MultiPackage({FillerImage(1)});
    std::fill(package.begin() + 36, package.begin() + 52, 0);
    package.at(32) = 0xFF;
    package.at(33) = 0xFF;
    rig.OpenPackage(package);
    EXPECT_EQ(rig.workflow->State().imageSize, 0);
    EXPECT_TRUE(rig.window.lines.empty());
    EXPECT_FALSE(rig.workflow->ImageChosen());
}

TEST_F(MultiImageOpen, OpeningTheSamePackageTwiceGivesTheSameImageSize) {
    WorkflowRig rig(DirectDrive(Identity("TROZ", "KVW-B200A", kCodeB2)));
    const std::string path = rig.OpenPackage(Family());
    const PackageState first = rig.workflow->State();
    rig.Open(path);
    EXPECT_EQ(rig.workflow->State().imageSize, first.imageSize);
    EXPECT_EQ(rig.workflow->State().imageIndex, first.imageIndex);
}

TEST_F(MultiImageOpen, StartFlashesTheChosenImage) {
    WorkflowRig rig(DirectDrive(Identity("TROZ", "KVW-B200A", kCodeB2)));
    const std::vector<std::uint8_t> chosen = RecordImage(TrozFields("KVW-B200A", kCodeB2));
    rig.OpenPackage(MultiPackage({DemoImage(), chosen}));
    rig.Forget();
    rig.Start();
    EXPECT_EQ(rig.window.lines.back(), kFlashComplete);
    EXPECT_EQ(rig.Drive(0).ProgrammedImage(), chosen);
}

}  // namespace
}  // namespace troz::test
