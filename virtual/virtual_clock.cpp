#include "virtual/virtual_clock.h"

namespace troz {

void VirtualClock::Sleep(std::uint32_t milliseconds) {
    sleeps_.push_back(milliseconds);
    now_ += milliseconds;
}

std::vector<std::uint32_t> VirtualClock::SleepsOfAtLeast(std::uint32_t minimum) const {
    std::vector<std::uint32_t> pauses;
    for (const std::uint32_t sleep : sleeps_) {
        if (sleep >= minimum) {
            pauses.push_back(sleep);
        }
    }
    return pauses;
}

}  // namespace troz
