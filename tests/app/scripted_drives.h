// A drive platform for the window tests: pass-through candidate i holds drive i of a list,
// each answering INQUIRY with its own identification and revision. It counts every open and
// close, so a test sees the release of the drive context.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "drive/atapi.h"

namespace troz::test {

struct ScriptedDrive {
    std::string identification;  // INQUIRY bytes 8-31 as they are, NULs included
    std::string revision;        // INQUIRY bytes 32-35
};

class ScriptedBackend final : public PassThroughBackend {
  public:
    explicit ScriptedBackend(std::vector<ScriptedDrive> drives);

    bool IsOpticalDrive(int candidate) override;
    std::string DevicePath(int candidate) override;
    DeviceHandle Open(int candidate) override;
    void Close(DeviceHandle handle) override;
    PlatformError Execute(DeviceHandle handle, PassThroughBlock& block) override;
    bool FormatSystemError(std::uint32_t code, std::string& text,
                           std::uint32_t& lastError) override;

    static DeviceHandle HandleOf(int candidate) { return kHandleBase + candidate; }
    int CloseCount(int candidate) const {
        return closeCounts_.at(static_cast<std::size_t>(candidate));
    }

  private:
    static constexpr DeviceHandle kHandleBase = 0x40;
    std::vector<ScriptedDrive> drives_;
    std::vector<int> closeCounts_;
};

class NoAspi final : public AspiPlatform {
  public:
    std::uint32_t GetSystemDirectory(char*, std::uint32_t) override { return 0; }
    ModuleHandle LoadLibrary(const char*) override { return nullptr; }
    void* GetProcAddress(ModuleHandle, const char*) override { return nullptr; }
    void FreeLibrary(ModuleHandle) override {}
    EventHandle CreateEvent() override { return nullptr; }
    std::uint32_t WaitForSingleObject(EventHandle, std::uint32_t) override { return kWaitFailed; }
    void CloseEvent(EventHandle) override {}
};

class ScriptedPlatform final : public DrivePlatform {
  public:
    explicit ScriptedPlatform(std::vector<ScriptedDrive> drives) : backend_(std::move(drives)) {}
    std::uint32_t VersionPlatformId() override { return kVerPlatformWin32Nt; }
    PassThroughBackend& PassThrough() override { return backend_; }
    AspiPlatform& Aspi() override { return aspi_; }
    void PumpOneMessage() override {}
    ScriptedBackend& Backend() { return backend_; }

  private:
    ScriptedBackend backend_;
    NoAspi aspi_;
};

class StillClock final : public Clock {
  public:
    void Sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }
    std::uint32_t GetTickCount() override { return now_; }

  private:
    std::uint32_t now_ = 0;
};

class RecordingServices final : public SystemServices {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool RequestRestart(std::string& error) override {
        error = "refused in tests";
        return false;
    }
    std::vector<std::string> messages;
};

// Three drives as the device table lists them, and the texts their list items must show.
std::vector<ScriptedDrive> ThreeDrives();
QStringList ThreeDriveTexts();

}  // namespace troz::test
