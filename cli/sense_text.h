// Sense key, ASC and ASCQ in plain words, beside the log line that carries them as numbers.
#pragma once

#include <cstdint>
#include <string>

namespace troz::cli {

struct SenseCodes {
    std::uint8_t senseKey = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
};

// "Illegal Request: parameter list length error", from libsgutils2's tables. Empty where the
// build has no such library (Windows).
std::string SenseInPlainWords(const SenseCodes& codes);

}  // namespace troz::cli
