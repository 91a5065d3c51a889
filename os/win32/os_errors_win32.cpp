#include "os/os_errors.h"
#include "os/win32/win32_api.h"

namespace troz {

namespace {

// The system allocates the text, so a long one arrives whole.
constexpr DWORD kFormatFlags =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kDefaultLanguage = 0;

}  // namespace

bool FormatOsError(std::uint32_t code, std::string& text, std::uint32_t& lastError) {
    char* message = nullptr;
    // Some system texts hold %1 inserts; with no arguments to give they stay as written.
    const DWORD length = FormatMessageA(kFormatFlags, nullptr, code, kDefaultLanguage,
                                        reinterpret_cast<char*>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) {
        lastError = GetLastError();
        return false;
    }
    text.assign(message, length);
    LocalFree(message);
    // System texts end in CR LF; the caller adds the one line break the message box shows.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return true;
}

}  // namespace troz
