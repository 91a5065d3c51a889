// The ASPI side of Windows: the system directory, the library loader that finds
// WNASPI32.DLL and its entry points, and the completion events of the requests.
#pragma once

#include "drive/aspi_platform.h"

namespace troz {

class Win32AspiPlatform final : public AspiPlatform {
public:
    std::uint32_t GetSystemDirectory(char* buffer, std::uint32_t size) override;
    ModuleHandle LoadLibrary(const char* path) override;
    void* GetProcAddress(ModuleHandle module, const char* name) override;
    void FreeLibrary(ModuleHandle module) override;
    EventHandle CreateEvent() override;
    std::uint32_t WaitForSingleObject(EventHandle event, std::uint32_t milliseconds) override;
    void CloseEvent(EventHandle event) override;
};

}  // namespace troz
