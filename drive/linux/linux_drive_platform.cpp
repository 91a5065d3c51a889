// The system's drives on Linux: SG_IO is the pass-through call, so the drive context runs
// its NT-family path; there is no ASPI layer and no window message queue to serve.
#include <cstring>
#include <filesystem>
#include <system_error>

#include "drive/linux/linux_system.h"
#include "drive/linux/sg_io_backend.h"
#include "drive/system_platform.h"

namespace troz {

namespace {

constexpr const char* kSystemLibraryFolder = "/usr/lib";

// Answers the ASPI calls as a system without WNASPI32.DLL would: the library never loads,
// so no request, and with it no completion event, ever exists.
class NoAspiPlatform final : public AspiPlatform {
public:
    std::uint32_t GetSystemDirectory(char* buffer, std::uint32_t size) override {
        const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(kSystemLibraryFolder));
        if (buffer == nullptr || size <= length) {
            return length + 1;
        }
        std::memcpy(buffer, kSystemLibraryFolder, length + 1);
        return length;
    }
    ModuleHandle LoadLibrary(const char*) override { return nullptr; }
    void* GetProcAddress(ModuleHandle, const char*) override { return nullptr; }
    void FreeLibrary(ModuleHandle) override {}
    EventHandle CreateEvent() override { return nullptr; }
    std::uint32_t WaitForSingleObject(EventHandle, std::uint32_t) override { return kWaitFailed; }
    void CloseEvent(EventHandle) override {}
};

class LinuxDrivePlatform final : public DrivePlatform {
public:
    explicit LinuxDrivePlatform(SystemServices& services) : backend_(system_, services) {}

    std::uint32_t VersionPlatformId() override { return kVerPlatformWin32Nt; }
    PassThroughBackend& PassThrough() override { return backend_; }
    AspiPlatform& Aspi() override { return aspi_; }
    void PumpOneMessage() override {}
    DriveLockResult LockDrive(const std::string& location, DeviceHandle handle) override {
        return LockDeviceNode(location, handle);
    }
    std::string ListedNodeOf(const std::string& node) override { return SystemListedNodeOf(node); }
    std::string CommandNodeOf(const std::string& location) override {
        return GenericNodeOfBlockNode(system_, location);
    }

private:
    RealLinuxSystem system_;
    SgIoBackend backend_;
    NoAspiPlatform aspi_;
};

}  // namespace

std::unique_ptr<DrivePlatform> MakeSystemDrivePlatform(SystemServices& services) {
    return std::make_unique<LinuxDrivePlatform>(services);
}

std::string SystemListedNodeOf(const std::string& node) {
    std::error_code error;
    const std::string real = std::filesystem::canonical(node, error).string();
    if (error) {
        return {};
    }
    RealLinuxSystem system;
    const std::string blockNode = BlockNodeOfGenericNode(system, real);
    return blockNode.empty() ? real : blockNode;
}

}  // namespace troz
