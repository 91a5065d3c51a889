#include "cli/drive_choice.h"

#include <algorithm>
#include <cctype>

#include "os/user_files.h"

namespace troz::cli {

namespace {

// Longer digit strings are no index of a list of at most a few drives.
constexpr std::size_t kIndexDigitsMaximum = 4;

bool IsIndex(const std::string& text) {
    return !text.empty() && text.size() <= kIndexDigitsMaximum &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

int FindLocation(const std::vector<std::string>& locations, const std::string& node) {
    if (node.empty()) {
        return -1;
    }
    const auto found = std::find(locations.begin(), locations.end(), node);
    return found == locations.end() ? -1 : static_cast<int>(found - locations.begin());
}

}  // namespace

bool ChooseDrive(const std::vector<std::string>& locations, const std::string& text,
                 const ListedNodeOf& listedNodeOf, int& index, std::string& error) {
    const int count = static_cast<int>(locations.size());
    if (IsIndex(text)) {
        index = std::stoi(text);
        if (index < count) {
            return true;
        }
        error = "Err:There is no drive " + text + " (" + std::to_string(count) +
                " found; see trozflash-cli list)";
        return false;
    }
    index = FindLocation(locations, text);
    if (index < 0 && listedNodeOf) {
        index = FindLocation(locations, listedNodeOf(text));
    }
    if (index >= 0) {
        return true;
    }
    error = "Err:No listed drive is " + PrintableName(text) +
            " (give an index or a device node from " + "trozflash-cli list)";
    return false;
}

}  // namespace troz::cli
