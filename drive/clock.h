// The time source of the drive and update code: the pauses of the flash procedures, the
// completion wait and the ASPI completion wait all go through it, so tests can run a
// 121-second wait in microseconds with a clock that moves only when asked to.
#pragma once

#include <cstdint>

namespace troz {

class Clock {
public:
    virtual ~Clock() = default;
    // Blocks the thread for the given number of milliseconds (a virtual clock just advances).
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Milliseconds since an arbitrary start; wraps after 2^32 like the platform's tick count.
    virtual std::uint32_t GetTickCount() = 0;
};

// The machine's own monotonic clock.
class SystemClock final : public Clock {
public:
    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t GetTickCount() override;
};

}  // namespace troz
