// How a drive finds the identification of the image it programmed.
#include "virtual/firmware_identity.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace troz {
namespace {

std::vector<std::uint8_t> ImageWithRecordAt(std::size_t size, std::size_t at,
                                            std::uint8_t lengthByte, const std::string& text) {
    std::vector<std::uint8_t> image(size, 0x20);
    const std::uint8_t signature[] = {0x05, 0x80, 0x00, 0x07, lengthByte};
    std::copy(std::begin(signature), std::end(signature),
              image.begin() + static_cast<std::ptrdiff_t>(at));
    for (std::size_t i = 0; i < text.size() && at + 8 + i < size; ++i) {
        image[at + 8 + i] = static_cast<std::uint8_t>(text[i]);
    }
    return image;
}

// Vendor, product, revision, two bytes, and the model code at record bytes 30-31.
const std::string kRecord("TROZ    KVW-A100A       1.10\0\0A1", 32);

struct IdentityCase {
    const char* name;
    std::size_t size;
    std::size_t at;
    std::uint8_t lengthByte;
    bool found;
};

// The case by its name in the test listing, not as raw bytes.
void PrintTo(const IdentityCase& x, std::ostream* out) {
    *out << x.name;
}

class FirmwareIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(FirmwareIdentity, IsFoundAsTheOpenStepFindsTheModelRecord) {
    const IdentityCase& param = GetParam();
    const auto identity =
        FindFirmwareIdentity(ImageWithRecordAt(param.size, param.at, param.lengthByte, kRecord));
    ASSERT_EQ(identity.has_value(), param.found);
    if (param.found) {
        EXPECT_EQ(identity->vendor, "TROZ    ");
        EXPECT_EQ(identity->product, "KVW-A100A       ");
        EXPECT_EQ(identity->revision, "1.10");
        EXPECT_EQ(identity->modelCode, (std::array<std::uint8_t, 2>{'A', '1'}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scan, FirmwareIdentity,
    ::testing::Values(IdentityCase{"AtOffset64", 4096, 64, 0x5B, true},
                      IdentityCase{"ShortAdditionalLength", 4096, 300, 0x1F, true},
                      IdentityCase{"InsideTheImageHeader", 4096, 63, 0x5B, false},
                      IdentityCase{"OtherAdditionalLength", 4096, 300, 0x24, false},
                      IdentityCase{"RecordReachesPastTheImage", 400, 300, 0x5B, false},
                      IdentityCase{"LastWholeRecordOfTheWindow", 70000, 65535 - 107, 0x5B, true},
                      IdentityCase{"PastTheScanWindow", 70000, 65535 - 106, 0x5B, false}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

}  // namespace
}  // namespace troz
