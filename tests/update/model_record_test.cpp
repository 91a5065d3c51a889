#include "update/model_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace troz {
namespace {

constexpr std::size_t kWindow = 65535;

class ModelRecordScan : public ::testing::Test {
protected:
    // Puts a signature with additional length byte at p and a record after it.
    void PutRecord(std::size_t p, const char* identification, std::uint8_t lengthByte = 0x1F,
                   std::uint8_t code0 = 'A', std::uint8_t code1 = '1') {
        window[p] = 0x05;
        window[p + 1] = 0x80;
        window[p + 2] = 0x00;
        window[p + 3] = 0x77;  // never looked at
        window[p + 4] = lengthByte;
        std::memcpy(&window[p + 8], identification, std::strlen(identification));
        window[p + 8 + 30] = code0;
        window[p + 8 + 31] = code1;
    }

    std::vector<std::uint8_t> window = std::vector<std::uint8_t>(kWindow, 0xEE);
};

TEST_F(ModelRecordScan, FindsTheRecordAndItsFields) {
    PutRecord(200, "TROZ    KVW-A100A       1.10");
    const auto record = FindModelRecord(window.data(), window.size());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->signatureOffset, 200u);
    EXPECT_EQ(record->targetProduct, "TROZ    KVW-A100A       1.10");
    EXPECT_EQ(record->modelCode, (std::array<std::uint8_t, 2>{'A', '1'}));
    EXPECT_EQ(record->bytes[0], 'T');
    EXPECT_EQ(record->bytes[98], window[200 + 106]);
}

TEST_F(ModelRecordScan, IgnoresSignaturesInTheFirst64BytesAndTakesTheLowestAfter) {
    PutRecord(10, "EARLY");
    PutRecord(63, "STILL EARLY");
    PutRecord(5000, "LATER", 0x1F, 'B', '2');
    PutRecord(300, "FIRST", 0x5B, 'C', '3');
    const auto record = FindModelRecord(window.data(), window.size());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->signatureOffset, 300u);
    EXPECT_EQ(record->modelCode, (std::array<std::uint8_t, 2>{'C', '3'}));
}

TEST_F(ModelRecordScan, TargetProductEndsAtAZeroByte) {
    PutRecord(64, "TROZ    KVW");
    window[64 + 8 + 11] = 0x00;
    EXPECT_EQ(FindModelRecord(window.data(), window.size())->targetProduct, "TROZ    KVW");
}

TEST_F(ModelRecordScan, OtherAdditionalLengthsAreNoSignature) {
    PutRecord(100, "X", 0x20);
    PutRecord(400, "Y", 0x1E);
    EXPECT_FALSE(FindModelRecord(window.data(), window.size()).has_value());
}

TEST_F(ModelRecordScan, SkipsASignatureWhoseRecordWouldReachPastTheWindow) {
    PutRecord(kWindow - 107, "LAST WHOLE");
    auto record = FindModelRecord(window.data(), window.size());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->signatureOffset, kWindow - 107);

    std::fill(window.begin(), window.end(), 0xEE);
    const std::size_t p = kWindow - 106;
    window[p] = 0x05, window[p + 1] = 0x80, window[p + 2] = 0x00, window[p + 4] = 0x1F;
    EXPECT_FALSE(FindModelRecord(window.data(), window.size()).has_value());
}

TEST_F(ModelRecordScan, ShortWindowsHoldNoRecord) {
    PutRecord(64, "TROZ");
    EXPECT_TRUE(FindModelRecord(window.data(), 64 + 107).has_value());
    EXPECT_FALSE(FindModelRecord(window.data(), 64 + 106).has_value());
    EXPECT_FALSE(FindModelRecord(window.data(), 0).has_value());
}

}  // namespace
}  // namespace troz
