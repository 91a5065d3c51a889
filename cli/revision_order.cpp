#include "cli/revision_order.h"

#include <optional>
#include <vector>

#include "drive/text_field.h"

namespace troz::cli {

namespace {

constexpr std::size_t kLongestField = 9;  // fits an int without overflow

// The fields of a dotted number, none when text is not one.
std::optional<std::vector<int>> DottedNumber(std::string_view revision) {
    const std::string trimmed = TrimmedField(revision);
    const std::string_view text = trimmed;
    std::vector<int> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t dot = text.find('.', from);
        const std::string_view field =
            text.substr(from, dot == std::string_view::npos ? std::string_view::npos : dot - from);
        if (field.empty() || field.size() > kLongestField ||
            field.find_first_not_of("0123456789") != std::string_view::npos) {
            return std::nullopt;
        }
        int value = 0;
        for (const char digit : field) {
            value = value * 10 + (digit - '0');
        }
        fields.push_back(value);
        if (dot == std::string_view::npos) {
            return fields;
        }
        from = dot + 1;
    }
}

}  // namespace

RevisionOrder CompareRevisions(std::string_view drive, std::string_view target) {
    const auto have = DottedNumber(drive);
    const auto bring = DottedNumber(target);
    if (!have || !bring) {
        return RevisionOrder::Incomparable;
    }
    const std::size_t fields = std::max(have->size(), bring->size());
    for (std::size_t i = 0; i < fields; ++i) {
        const int a = i < have->size() ? (*have)[i] : 0;
        const int b = i < bring->size() ? (*bring)[i] : 0;
        if (a != b) {
            return b > a ? RevisionOrder::Newer : RevisionOrder::Older;
        }
    }
    return RevisionOrder::Same;
}

std::string RevisionOrderLine(RevisionOrder order, std::string_view drive,
                              std::string_view target) {
    const std::string have = TrimmedField(drive);
    const std::string bring = TrimmedField(target);
    switch (order) {
        case RevisionOrder::Newer:
            return "Upgrade: the drive reports " + have + ", the package brings " + bring;
        case RevisionOrder::Same:
            return "Reinstall: the drive is already at " + have;
        case RevisionOrder::Older:
            return "Downgrade: the drive reports " + have + ", the package brings the older " +
                   bring;
        case RevisionOrder::Incomparable:
            break;
    }
    return "The revisions " + have + " (drive) and " + bring +
           " (package) cannot be compared; going on";
}

}  // namespace troz::cli
