#include "drive/win32/win32_aspi_platform.h"

#include "os/win32/win32_api.h"

namespace troz {

std::uint32_t Win32AspiPlatform::GetSystemDirectory(char* buffer, std::uint32_t size) {
    return GetSystemDirectoryA(buffer, size);
}

ModuleHandle Win32AspiPlatform::LoadLibrary(const char* path) {
    return reinterpret_cast<ModuleHandle>(LoadLibraryA(path));
}

void* Win32AspiPlatform::GetProcAddress(ModuleHandle module, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void Win32AspiPlatform::FreeLibrary(ModuleHandle module) {
    ::FreeLibrary(static_cast<HMODULE>(module));
}

EventHandle Win32AspiPlatform::CreateEvent() {
    // Manual reset, not signalled: the ASPI layer sets it once the request completes.
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

std::uint32_t Win32AspiPlatform::WaitForSingleObject(EventHandle event,
                                                     std::uint32_t milliseconds) {
    return ::WaitForSingleObject(event, milliseconds);
}

void Win32AspiPlatform::CloseEvent(EventHandle event) {
    CloseHandle(event);
}

}  // namespace troz
