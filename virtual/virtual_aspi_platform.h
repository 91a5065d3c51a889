// The system side of the virtual ASPI set: a system directory, a WNASPI32.DLL that "loads"
// while a virtual ASPI manager is installed, its two entry points, and completion events
// that the manager signals. Failures of event creation and of the wait can be injected.
#pragma once

#include <cstdint>

#include "drive/aspi_platform.h"
#include "drive/clock.h"
#include "virtual/aspi_manager.h"

namespace troz {

constexpr const char* kVirtualSystemDirectory = "C:\\WINDOWS\\SYSTEM";

class VirtualAspiPlatform final : public AspiPlatform {
public:
    VirtualAspiPlatform(VirtualAspiManager& manager, Clock& clock);

    std::uint32_t GetSystemDirectory(char* buffer, std::uint32_t size) override;
    // Non-null only for "<system directory>\WNASPI32.DLL" (any letter case) while this
    // platform's manager is installed.
    ModuleHandle LoadLibrary(const char* path) override;
    void* GetProcAddress(ModuleHandle module, const char* name) override;
    void FreeLibrary(ModuleHandle) override {}
    EventHandle CreateEvent() override;
    // Lets the manager complete what waits for completion; a signalled event returns
    // WAIT_OBJECT_0, anything else sleeps the whole time-out and returns WAIT_TIMEOUT.
    std::uint32_t WaitForSingleObject(EventHandle event, std::uint32_t milliseconds) override;
    void CloseEvent(EventHandle event) override;

    // The next count event creations fail, or the next count waits.
    void FailEventCreations(int count) { failingEventCreations_ = count; }
    void FailWaits(int count) { failingWaits_ = count; }

    int LoadCount() const { return loadCount_; }
    int WaitCount() const { return waitCount_; }

private:
    VirtualAspiManager& manager_;
    Clock& clock_;
    int failingEventCreations_ = 0;
    int failingWaits_ = 0;
    int loadCount_ = 0;
    int waitCount_ = 0;
};

}  // namespace troz
