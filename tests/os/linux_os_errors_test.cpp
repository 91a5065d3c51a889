#include <gtest/gtest.h>

#include <cerrno>

#include "os/os_errors.h"

namespace troz {
namespace {

TEST(LinuxOsErrorText, KnownCodesGiveTheUntranslatedSystemText) {
    std::string text;
    std::uint32_t lastError = 0;
    ASSERT_TRUE(FormatOsError(kOsErrorIoDevice, text, lastError));
    EXPECT_EQ(text, "Input/output error");
    ASSERT_TRUE(FormatOsError(kOsErrorTimedOut, text, lastError));
    EXPECT_EQ(text, "Connection timed out");
    ASSERT_TRUE(FormatOsError(kOsErrorAccessDenied, text, lastError));
    EXPECT_EQ(text, "Operation not permitted");
}

TEST(LinuxOsErrorText, CodesWithoutTextFailWithTheReason) {
    for (std::uint32_t code : {0u, 4095u, 0x80000000u}) {
        std::string text = "unchanged";
        std::uint32_t lastError = 0;
        EXPECT_FALSE(FormatOsError(code, text, lastError)) << code;
        EXPECT_EQ(lastError, static_cast<std::uint32_t>(EINVAL));
        EXPECT_EQ(text, "unchanged");
    }
}

}  // namespace
}  // namespace troz
