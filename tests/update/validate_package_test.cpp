#include "update/validate_package.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "drive/bytes.h"
#include "tests/support/package_files.h"
#include "tests/support/recording_window.h"

namespace troz {
namespace {

using test::BuildPackage;
using test::TempPackageFile;
using test::UniformImage;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class PackageValidation : public ::testing::Test {
protected:
    bool Validate(const std::vector<std::uint8_t>& package) {
        TempPackageFile file(package);
        return ValidatePackage(file.Path(), headerCopy, state, window);
    }

    static std::vector<std::uint8_t> SinglePackage(bool scrambled) {
        return BuildPackage({false, scrambled, {UniformImage({1000, 37, 4096}, 0x5C)}});
    }

    // Three images of 8 blocks of 4096 bytes; image k is filled with 0x10 + k.
    static std::vector<std::uint8_t> MultiPackage(bool scrambled) {
        const std::vector<std::uint16_t> sizes(8, 4096);
        return BuildPackage(
            {true,
             scrambled,
             {UniformImage(sizes, 0x10), UniformImage(sizes, 0x11), UniformImage(sizes, 0x12)}});
    }

    PackageHeader headerCopy;
    PackageState state;
    test::RecordingWindow window;
};

TEST_F(PackageValidation, AcceptsAnIntactPackageSilentlyAndRefreshesTheHeaderCopy) {
    for (const bool scrambled : {false, true}) {
        const auto package = SinglePackage(scrambled);
        headerCopy = PackageHeader{};
        EXPECT_TRUE(Validate(package)) << scrambled;
        EXPECT_THAT(window.lines, IsEmpty());
        EXPECT_TRUE(std::equal(headerCopy.RawBytes().begin(), headerCopy.RawBytes().end(),
                               package.begin()));
    }
}

TEST_F(PackageValidation, MissingFileCannotBeOpened) {
    EXPECT_FALSE(
        ValidatePackage(::testing::TempDir() + "no/such/package.tfs", headerCopy, state, window));
    EXPECT_THAT(window.lines, ElementsAre("Err:Open Firmware file Error!!"));
}

TEST_F(PackageValidation, MagicMustMatchWithItsTerminatorAndCase) {
    auto package = SinglePackage(false);
    package[16] = ' ';
    EXPECT_FALSE(Validate(package));
    package[16] = 0;
    package[5] = 'f';
    EXPECT_FALSE(Validate(package));
    EXPECT_THAT(window.lines,
                ElementsAre("Err:Not TROZ File system!!", "Err:Not TROZ File system!!"));
}

TEST_F(PackageValidation, ChecksumMismatchIsReported) {
    auto package = SinglePackage(true);
    package[32] ^= 0x01;
    EXPECT_FALSE(Validate(package));
    EXPECT_THAT(window.lines, ElementsAre("Err:File check sum error!!"));
}

// Every failure says why: blocks that reach past the end of the file (the last one cut,
// or a whole image missing) and an empty block within the count.
TEST_F(PackageValidation, ShortFilesAndEmptyBlocksAreReported) {
    struct Case {
        const char* name;
        bool multiImage;
        std::int32_t imageIndex;
        std::function<void(std::vector<std::uint8_t>&)> spoil;
        const char* line;
    };
    const Case cases[] = {
        {"last byte cut", false, 0, [](auto& p) { p.pop_back(); }, kPackageTooShort},
        {"header only", false, 0, [](auto& p) { p.resize(kPackageHeaderSize); }, kPackageTooShort},
        {"image 3 of 3", true, 3, [](auto&) {}, kPackageTooShort},
        {"block 1 of 3 empty", false, 0, [](auto& p) { p[36 + 2] = 0, p[36 + 3] = 0; },
         kEmptyBlock},
    };
    for (const Case& c : cases) {
        auto package = c.multiImage ? MultiPackage(false) : SinglePackage(false);
        c.spoil(package);
        state.imageIndex = c.imageIndex;
        window.lines.clear();
        EXPECT_FALSE(Validate(package)) << c.name;
        EXPECT_THAT(window.lines, ElementsAre(c.line)) << c.name;
    }
}

TEST_F(PackageValidation, NoBlocksValidateExactlyWhenTheChecksumIsZero) {
    auto package = BuildPackage({false, false, {PackageImage{}}});
    EXPECT_TRUE(Validate(package));
    package[32] = 1;
    EXPECT_FALSE(Validate(package));
    EXPECT_THAT(window.lines, ElementsAre("Err:File check sum error!!"));
}

TEST_F(PackageValidation, TheSumWrapsAt65536) {
    PackageImage ones = {PackageBlock(32768, 0x01), PackageBlock(32768, 0x01)};
    const auto package = BuildPackage({false, false, {ones}});
    EXPECT_EQ(package[32], 0);
    EXPECT_EQ(package[33], 0);
    EXPECT_TRUE(Validate(package));
}

TEST_F(PackageValidation, OnlyFormat16AndFlag1ChangeHowBlocksAreRead) {
    // A plain single-image package reads the same with any other format or flag value.
    for (const std::uint8_t value : {0, 2, 15, 17, 0xFF}) {
        auto package = SinglePackage(false);
        package[24] = value;
        package[25] = value;
        EXPECT_TRUE(Validate(package)) << int{value};
    }
    auto package = SinglePackage(false);
    package[25] = 1;  // now the plain blocks are descrambled and no longer sum right
    EXPECT_FALSE(Validate(package));
    EXPECT_THAT(window.lines, ElementsAre("Err:File check sum error!!"));
}

TEST_F(PackageValidation, MultiImageChecksThePickedImageAtItsPosition) {
    for (const bool scrambled : {false, true}) {
        auto package = MultiPackage(scrambled);
        ASSERT_EQ(package.size(), 64u + 3 * 32768);
        EXPECT_EQ(package[32], 3);  // the image count, never used as a checksum
        if (!scrambled) {
            EXPECT_EQ(package[65600 + 1], 0x12);  // image 2 holds 0x12 after its lead byte
        }
        for (const std::int32_t k : {0, 1, 2}) {
            state.imageIndex = k;
            state.imageSize = 0;  // the position comes from the header just read
            EXPECT_TRUE(Validate(package)) << k;
        }
        package[52 + 2 * 1] ^= 0x40;
        state.imageIndex = 1;
        EXPECT_FALSE(Validate(package));
        state.imageIndex = 2;
        EXPECT_TRUE(Validate(package));
    }
    EXPECT_THAT(window.lines,
                ElementsAre("Err:File check sum error!!", "Err:File check sum error!!"));
}

TEST_F(PackageValidation, RefusesUnsafeHeadersBeforeReadingABlock) {
    struct Case {
        bool multiImage;
        std::size_t offset;
        std::uint16_t value;
        std::int32_t imageIndex;
        const char* line;
    };
    const Case cases[] = {
        {true, 34, 9, 0, kRefusalBlockCount},             // nine blocks, eight table entries
        {false, 36, 65534, 0, kRefusalBlockSize},         // no room for the two length bytes
        {true, 36 + 2 * 7, 36864, 0, kRefusalImageSize},  // the eight entries reach 65536
        {true, 32, 7, 6, kRefusalImageIndex},             // no checksum entry for image 6
    };
    for (const Case& c : cases) {
        auto package = c.multiImage ? MultiPackage(false) : SinglePackage(false);
        PutLittleEndian16(package.data() + c.offset, c.value);
        package.resize(64 + 100);  // a refused header must not reach the blocks
        state.imageIndex = c.imageIndex;
        window.lines.clear();
        EXPECT_FALSE(Validate(package)) << c.line;
        EXPECT_THAT(window.lines, ElementsAre(c.line));
    }
}

TEST_F(PackageValidation, AShortHeaderLeavesNoBytesOfTheLastPackage) {
    ASSERT_TRUE(Validate(MultiPackage(false)));
    auto shortFile = SinglePackage(false);
    shortFile.resize(20);
    Validate(shortFile);
    for (std::size_t i = 20; i < kPackageHeaderSize; ++i) {
        ASSERT_EQ(headerCopy.RawBytes()[i], 0) << i;
    }
    EXPECT_EQ(headerCopy.BlockCount(), 0);
}

#ifdef __linux__
std::size_t OpenFileCount() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator{}));
}

TEST_F(PackageValidation, ClosesThePackageOnEveryPathOut) {
    auto good = MultiPackage(true);
    auto badMagic = good, badSum = good, shortBlock = good, refused = good;
    badMagic[0] = 'X';
    badSum[52] ^= 1;
    shortBlock.resize(1000);
    refused[34] = 9;
    const std::size_t before = OpenFileCount();
    for (const auto* package : {&good, &badMagic, &badSum, &shortBlock, &refused}) {
        Validate(*package);
        EXPECT_EQ(OpenFileCount(), before);
    }
}
#endif

}  // namespace
}  // namespace troz
