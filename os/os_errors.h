// Platform error numbers that the backends report, in the running system's own code space
// (Win32 error codes on Windows, errno values elsewhere), and the system's text for them.
#pragma once

#include <cstdint>
#include <string>

namespace troz {

#ifdef _WIN32
constexpr std::uint32_t kOsErrorTimedOut = 121;     // ERROR_SEM_TIMEOUT
constexpr std::uint32_t kOsErrorIoDevice = 1117;    // ERROR_IO_DEVICE
constexpr std::uint32_t kOsErrorDeviceGone = 1167;  // ERROR_DEVICE_NOT_CONNECTED
constexpr std::uint32_t kOsErrorAccessDenied = 5;   // ERROR_ACCESS_DENIED
constexpr std::uint32_t kOsErrorInvalidHandle = 6;  // ERROR_INVALID_HANDLE
#else
constexpr std::uint32_t kOsErrorTimedOut = 110;     // ETIMEDOUT
constexpr std::uint32_t kOsErrorIoDevice = 5;       // EIO
constexpr std::uint32_t kOsErrorDeviceGone = 19;    // ENODEV
constexpr std::uint32_t kOsErrorAccessDenied = 1;   // EPERM
constexpr std::uint32_t kOsErrorInvalidHandle = 9;  // EBADF
#endif

// The system's text for an error code (FormatMessageA on Windows, strerror elsewhere),
// without a trailing line break. False when the system has none; lastError then tells why.
bool FormatOsError(std::uint32_t code, std::string& text, std::uint32_t& lastError);

// The system's text for an error code, or "error N" when it has none.
std::string OsErrorText(std::uint32_t code);

}  // namespace troz
