// What the Open step found in the chosen package. The window (or the command line) holds
// the one record of the process; it starts zeroed and a later Open replaces what it writes.
#pragma once

#include <array>
#include <cstdint>

namespace troz {

struct PackageState {
    std::array<std::uint8_t, 2> modelCode{};
    std::int32_t imageIndex = 0;
    // Set for a multi-image package only.
    std::uint16_t imageSize = 0;
};

}  // namespace troz
