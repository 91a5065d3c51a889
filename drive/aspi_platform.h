// The ASPI platform: what the ASPI transport needs of the system: the system directory and the
// library loader (to find WNASPI32.DLL and its two entry points) and the completion events. Win32
// uses the real calls; the virtual ASPI manager offers the same over virtual drives.
#pragma once

#include <cstdint>

namespace troz {

using ModuleHandle = void*;
using EventHandle = void*;

// WaitForSingleObject results.
constexpr std::uint32_t kWaitObject0 = 0x00000000;
constexpr std::uint32_t kWaitTimeout = 0x00000102;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;

class AspiPlatform {
public:
    virtual ~AspiPlatform() = default;
    // As GetSystemDirectoryA: the length copied without the NUL, or the size needed
    // (including the NUL) when the buffer is too small, or 0 on failure.
    virtual std::uint32_t GetSystemDirectory(char* buffer, std::uint32_t size) = 0;
    virtual ModuleHandle LoadLibrary(const char* path) = 0;
    virtual void* GetProcAddress(ModuleHandle module, const char* name) = 0;
    virtual void FreeLibrary(ModuleHandle module) = 0;
    // An unnamed manual-reset event, not signalled; null when none can be created.
    virtual EventHandle CreateEvent() = 0;
    virtual std::uint32_t WaitForSingleObject(EventHandle event, std::uint32_t milliseconds) = 0;
    virtual void CloseEvent(EventHandle event) = 0;
};

}  // namespace troz
