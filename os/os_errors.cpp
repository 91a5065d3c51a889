#include "os/os_errors.h"

namespace troz {

std::string OsErrorText(std::uint32_t code) {
    std::string text;
    std::uint32_t lastError = 0;
    if (FormatOsError(code, text, lastError)) {
        return text;
    }
    return "error " + std::to_string(code);
}

}  // namespace troz
