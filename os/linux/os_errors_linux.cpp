#include <cerrno>
#include <climits>
#include <cstring>

#include "os/os_errors.h"

namespace troz {

bool FormatOsError(std::uint32_t code, std::string& text, std::uint32_t& lastError) {
    if (code == 0 || code > static_cast<std::uint32_t>(INT_MAX)) {
        lastError = EINVAL;
        return false;
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    // The untranslated text, the language of every other message of the tool; null for a
    // number the C library does not know.
    const char* description = strerrordesc_np(static_cast<int>(code));
#else
    const char* description = std::strerror(static_cast<int>(code));
#endif
    if (description == nullptr || *description == '\0') {
        lastError = EINVAL;
        return false;
    }
    text = description;
    return true;
}

}  // namespace troz
