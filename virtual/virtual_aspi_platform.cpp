#include "virtual/virtual_aspi_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace troz {

namespace {

constexpr const char* kAspiLibraryName = "\\WNASPI32.DLL";
constexpr const char* kSupportInfoName = "GetASPI32SupportInfo";
constexpr const char* kSendCommandName = "SendASPI32Command";

// What LoadLibrary hands out for the one library it knows.
int libraryToken = 0;

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

template <typename Function>
void* ToAddress(Function function) {
    static_assert(sizeof(Function) == sizeof(void*));
    void* address = nullptr;
    std::memcpy(&address, &function, sizeof address);
    return address;
}

}  // namespace

VirtualAspiPlatform::VirtualAspiPlatform(VirtualAspiManager& manager, Clock& clock)
    : manager_(manager), clock_(clock) {}

std::uint32_t VirtualAspiPlatform::GetSystemDirectory(char* buffer, std::uint32_t size) {
    const auto length = static_cast<std::uint32_t>(std::strlen(kVirtualSystemDirectory));
    if (buffer == nullptr || size <= length) {
        return length + 1;  // the size needed, the terminating NUL included
    }
    std::memcpy(buffer, kVirtualSystemDirectory, length + 1);
    return length;
}

ModuleHandle VirtualAspiPlatform::LoadLibrary(const char* path) {
    if (path == nullptr || VirtualAspiManager::Installed() != &manager_ ||
        !EqualIgnoringCase(path, std::string(kVirtualSystemDirectory) + kAspiLibraryName)) {
        return nullptr;
    }
    ++loadCount_;
    return &libraryToken;
}

void* VirtualAspiPlatform::GetProcAddress(ModuleHandle module, const char* name) {
    if (module != &libraryToken || name == nullptr) {
        return nullptr;
    }
    if (std::strcmp(name, kSupportInfoName) == 0) {
        return ToAddress(&VirtualAspiManager::GetASPI32SupportInfo);
    }
    if (std::strcmp(name, kSendCommandName) == 0) {
        return ToAddress(&VirtualAspiManager::SendASPI32Command);
    }
    return nullptr;
}

EventHandle VirtualAspiPlatform::CreateEvent() {
    if (failingEventCreations_ > 0) {
        --failingEventCreations_;
        return nullptr;
    }
    return manager_.CreateEvent();
}

std::uint32_t VirtualAspiPlatform::WaitForSingleObject(EventHandle event,
                                                       std::uint32_t milliseconds) {
    ++waitCount_;
    if (failingWaits_ > 0) {
        --failingWaits_;
        return kWaitFailed;
    }
    manager_.CompleteDeferredRequests();
    if (manager_.IsSignalled(event)) {
        return kWaitObject0;
    }
    clock_.Sleep(milliseconds);
    return kWaitTimeout;
}

void VirtualAspiPlatform::CloseEvent(EventHandle event) {
    manager_.CloseEvent(event);
}

}  // namespace troz
