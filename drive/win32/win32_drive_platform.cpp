// The system's drives on Windows: the family GetVersionExA reports decides between the
// pass-through call (NT) and WNASPI32.DLL (the consumer family); the drive context asks.
#include <filesystem>
#include <system_error>

#include "drive/system_platform.h"
#include "drive/win32/win32_aspi_platform.h"
#include "drive/win32/win32_pass_through.h"
#include "os/win32/win32_api.h"

namespace troz {

namespace {

// sizeof(OSVERSIONINFOA): the plain record, which every version of the call accepts.
constexpr DWORD kVersionInfoSize = 148;
static_assert(sizeof(OSVERSIONINFOA) == kVersionInfoSize);

class Win32DrivePlatform final : public DrivePlatform {
public:
    std::uint32_t VersionPlatformId() override {
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = kVersionInfoSize;
        // The result is not examined: a zero-filled record reads as neither family.
        GetVersionExA(&version);
        return version.dwPlatformId;
    }
    PassThroughBackend& PassThrough() override { return passThrough_; }
    AspiPlatform& Aspi() override { return aspi_; }
    void PumpOneMessage() override {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    DriveLockResult LockDrive(const std::string& location, DeviceHandle handle) override {
        return LockDeviceNode(location, handle);
    }
    std::string ListedNodeOf(const std::string& node) override { return SystemListedNodeOf(node); }

private:
    Win32PassThroughBackend passThrough_;
    Win32AspiPlatform aspi_;
};

}  // namespace

std::unique_ptr<DrivePlatform> MakeSystemDrivePlatform(SystemServices&) {
    return std::make_unique<Win32DrivePlatform>();
}

std::string SystemListedNodeOf(const std::string& node) {
    std::error_code error;
    const std::string real = std::filesystem::canonical(node, error).string();
    return error ? std::string() : real;
}

}  // namespace troz
