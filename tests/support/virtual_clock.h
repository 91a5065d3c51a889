// The tests' one fake clock: it moves only when asked. Sleep advances it at once, so a
// 121-second wait runs in microseconds, and it keeps every Sleep it was asked for, so tests
// can check the pauses. Header-only, so the fuzz targets use it without the test library.
#pragma once

#include <cstdint>
#include <vector>

#include "drive/clock.h"

namespace troz {

class VirtualClock final : public Clock {
public:
    // startTick is what GetTickCount returns first; a start close to 2^32 tests the wrap.
    explicit VirtualClock(std::uint32_t startTick = 0) : now_(startTick) {}

    void Sleep(std::uint32_t milliseconds) override {
        sleeps_.push_back(milliseconds);
        now_ += milliseconds;
    }
    std::uint32_t GetTickCount() override { return static_cast<std::uint32_t>(now_); }

    // Moves time on without counting as a Sleep.
    void Advance(std::uint64_t milliseconds) { now_ += milliseconds; }
    void SetTick(std::uint32_t tick) { now_ = tick; }
    // Milliseconds since the clock was made (or the last SetTick), not wrapped.
    std::uint64_t Now() const { return now_; }

    // Every Sleep in order, and the ones of at least minimum milliseconds (the pauses of the
    // flash procedures, without the small costs of each command).
    const std::vector<std::uint32_t>& Sleeps() const { return sleeps_; }
    std::vector<std::uint32_t> SleepsOfAtLeast(std::uint32_t minimum) const {
        std::vector<std::uint32_t> pauses;
        for (const std::uint32_t sleep : sleeps_) {
            if (sleep >= minimum) {
                pauses.push_back(sleep);
            }
        }
        return pauses;
    }
    void ClearSleeps() { sleeps_.clear(); }

private:
    std::uint64_t now_;
    std::vector<std::uint32_t> sleeps_;
};

}  // namespace troz
