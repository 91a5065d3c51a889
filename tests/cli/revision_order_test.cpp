// The order of a package's target revision against a drive's.
#include "cli/revision_order.h"

#include <gtest/gtest.h>

namespace troz::cli {
namespace {

TEST(RevisionOrder, DottedNumbersCompareFieldByFieldAndTheRestCannot) {
    const struct {
        const char* drive;
        const char* target;
        RevisionOrder order;
    } cases[] = {
        {"1.00", "1.10", RevisionOrder::Newer},
        {"1.20", "0.50", RevisionOrder::Older},
        {"1.10", "1.10", RevisionOrder::Same},
        {"1.0", "1.00", RevisionOrder::Same},  // a field's value, not its text
        {"1.9", "1.10", RevisionOrder::Newer},
        {"2", "1.99", RevisionOrder::Older},
        {"1.1 ", " 1.1", RevisionOrder::Same},  // INQUIRY's padding
        {"1.1A", "1.10", RevisionOrder::Incomparable},
        {"1.00", "", RevisionOrder::Incomparable},
        {"1..0", "1.0", RevisionOrder::Incomparable},
        {"1.", "1.0", RevisionOrder::Incomparable},
        {"-1", "1", RevisionOrder::Incomparable},
        {"99999999999", "1", RevisionOrder::Incomparable},  // no overflow
    };
    for (const auto& check : cases) {
        EXPECT_EQ(CompareRevisions(check.drive, check.target), check.order)
            << check.drive << " -> " << check.target;
    }
}

TEST(RevisionOrder, ThePlanSaysWhichCaseItIs) {
    EXPECT_EQ(RevisionOrderLine(RevisionOrder::Newer, "1.00", "1.10"),
              "Upgrade: the drive reports 1.00, the package brings 1.10");
    EXPECT_EQ(RevisionOrderLine(RevisionOrder::Same, "1.10", "1.10"),
              "Reinstall: the drive is already at 1.10");
    EXPECT_EQ(RevisionOrderLine(RevisionOrder::Older, "1.20", "0.50"),
              "Downgrade: the drive reports 1.20, the package brings the older 0.50");
    EXPECT_EQ(RevisionOrderLine(RevisionOrder::Incomparable, "1.1A", "1.10 "),
              "The revisions 1.1A (drive) and 1.10 (package) cannot be compared; going on");
}

}  // namespace
}  // namespace troz::cli
