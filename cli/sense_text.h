// Sense key, ASC and ASCQ in plain words, for the log lines that carry them as numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace troz::cli {

struct SenseCodes {
    std::uint8_t senseKey = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
};

// The codes of a line that carries "SenseCode:K : A : Q;" (hexadecimal, as the flash writes
// them); nothing for any other line.
std::optional<SenseCodes> SenseCodesOfLine(const std::string& line);

// "Illegal Request: parameter list length error", from libsgutils2's tables. Empty where the
// build has no such library (Windows).
std::string SenseInPlainWords(const SenseCodes& codes);

}  // namespace troz::cli
