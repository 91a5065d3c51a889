// Whether a package would reinstall, upgrade or downgrade a drive's firmware: its target
// revision against the one the drive reports, when both are dotted numbers ("1.10",
// "2.0.3"). Anything else ("1.1A", "B2") cannot be ordered, and the flash says so and goes on.
#pragma once

#include <string>
#include <string_view>

namespace troz::cli {

enum class RevisionOrder {
    Newer,         // the target is newer: an upgrade
    Same,          // the drive already has it
    Older,         // a downgrade
    Incomparable,  // one of them is not a dotted number
};

// Numbers compared field by field ("1.10" after "1.9"), a missing field as 0 ("1.0" is
// "1.00"); the padding blanks of INQUIRY fields are ignored.
RevisionOrder CompareRevisions(std::string_view drive, std::string_view target);

// The plan's line for the case: "Upgrade: the drive reports 1.00, the package brings 1.10".
std::string RevisionOrderLine(RevisionOrder order, std::string_view drive, std::string_view target);

}  // namespace troz::cli
