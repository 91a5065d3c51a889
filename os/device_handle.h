// A device handle as the platform gives it: a Windows HANDLE, a Linux file descriptor, or a
// virtual device number. kInvalidHandle is INVALID_HANDLE_VALUE.
#pragma once

#include <cstdint>

namespace troz {

using DeviceHandle = std::intptr_t;
constexpr DeviceHandle kInvalidHandle = -1;

}  // namespace troz
