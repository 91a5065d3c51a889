// Sense in both formats: a drive or bridge answering in descriptor format is judged by the
// codes it sent, and fixed-format sense keeps its whole key byte.
#include "drive/sense_data.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#ifdef TROZ_HAVE_SGUTILS
#include <scsi/sg_lib.h>
#endif

namespace troz {
namespace {

struct SenseCase {
    const char* name;
    std::vector<std::uint8_t> data;
    std::uint8_t key;
    std::uint8_t asc;
    std::uint8_t ascq;
};

// The case by its name in the test listing, not as raw bytes.
void PrintTo(const SenseCase& x, std::ostream* out) {
    *out << x.name;
}

const std::vector<SenseCase>& SenseCases() {
    static const std::vector<SenseCase> cases = {
        {"FixedCurrent",
         {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x1A, 0x00, 0, 0, 0, 0},
         0x05,
         0x1A,
         0x00},
        {"FixedDeferredValidBit",
         {0xF1, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x04, 0x01, 0, 0, 0, 0},
         0x02,
         0x04,
         0x01},
        // A descriptor-format answer read as fixed would give key 0x24, ASC 0 and ASCQ 0.
        {"DescriptorCurrent", {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, 0x05, 0x24, 0x00},
        {"DescriptorDeferred", {0x73, 0x06, 0x29, 0x00, 0, 0, 0, 0}, 0x06, 0x29, 0x00},
        {"DescriptorWithADescriptor",
         {0x72, 0x03, 0x11, 0x05, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0x10},
         0x03,
         0x11,
         0x05},
    };
    return cases;
}

class SenseFormats : public ::testing::TestWithParam<SenseCase> {};

TEST_P(SenseFormats, GiveKeyAscAndAscq) {
    const SenseCase& c = GetParam();
    const SenseBytes sense = ReadSense(c.data);
    EXPECT_EQ(sense.senseKey, c.key);
    EXPECT_EQ(sense.asc, c.asc);
    EXPECT_EQ(sense.ascq, c.ascq);
#ifdef TROZ_HAVE_SGUTILS
    // libsgutils2 reads the same codes (it masks the key, which these cases do not need).
    sg_scsi_sense_hdr header{};
    ASSERT_TRUE(sg_scsi_normalize_sense(c.data.data(), static_cast<int>(c.data.size()), &header));
    EXPECT_EQ(header.sense_key, c.key);
    EXPECT_EQ(header.asc, c.asc);
    EXPECT_EQ(header.ascq, c.ascq);
#endif
}

INSTANTIATE_TEST_SUITE_P(Formats, SenseFormats, ::testing::ValuesIn(SenseCases()),
                         [](const ::testing::TestParamInfo<SenseCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(SenseData, FixedFormatKeepsTheWholeKeyByte) {
    // Filemark, end-of-medium and length bits stay in the key the procedures compare.
    const std::vector<std::uint8_t> data = {0x70, 0, 0xE5, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0};
    EXPECT_EQ(ReadSense(data).senseKey, 0xE5);
}

TEST(SenseData, ShortOrMissingSenseReadsAsZero) {
    EXPECT_EQ(ReadSense({}).senseKey, 0);
    const std::vector<std::uint8_t> cleared(32, 0);
    const SenseBytes none = ReadSense(cleared);
    EXPECT_EQ(none.senseKey | none.asc | none.ascq, 0);
    const std::vector<std::uint8_t> cut = {0x70, 0, 0x02};
    const SenseBytes partial = ReadSense(cut);
    EXPECT_EQ(partial.senseKey, 0x02);
    EXPECT_EQ(partial.asc, 0);
    const std::vector<std::uint8_t> descriptorCut = {0x72, 0x05};
    EXPECT_EQ(ReadSense(descriptorCut).senseKey, 0x05);
    EXPECT_EQ(ReadSense(descriptorCut).asc, 0);
}

}  // namespace
}  // namespace troz
