// Text fields of what a drive reports (vendor, product, revision) and of a package's target
// are padded with spaces to their width; people see and compare them without the padding.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace troz {

inline std::string TrimmedField(std::string_view field) {
    const auto isBlank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if_not(field.begin(), field.end(), isBlank);
    const auto last = std::find_if_not(field.rbegin(), field.rend(), isBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

}  // namespace troz
