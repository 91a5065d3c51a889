// The virtual ASPI manager: our own GetASPI32SupportInfo and SendASPI32Command over virtual
// devices addressed by host adapter, target and LUN. The entry points are plain functions,
// as WNASPI32.DLL exports them, so the manager is process-wide: one instance is installed
// at a time and the functions act on it. Requests are read and written only by the offsets
// of drive/aspi_layout.h.
//
// Completion: a command can complete inside SendASPI32Command or later (status left
// pending, the request's event signalled when someone waits on an event or the message pump
// runs). By default commands that move data complete later and the others at once, so every
// flash runs both paths of the transport. A device's TimedOut fault leaves the request
// pending until it is aborted.
#pragma once

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "drive/aspi_layout.h"
#include "drive/aspi_platform.h"
#include "drive/virtual/scsi_device.h"
#include "virtual/aspi_request.h"

namespace troz {

enum class AspiCompletion { AtOnce, Later, LaterWithData };
enum class DeviceTypeCompletion { AtOnce, OnPump, Never };

constexpr std::uint8_t kSsInvalidCommand = 0x80;
constexpr std::uint8_t kSsInvalidRequest = 0xE0;
constexpr std::uint8_t kSsNoAspi = 0xE3;
constexpr std::uint8_t kSsNoAdapters = 0xE8;

struct AspiAddress {
    std::uint8_t hostAdapter = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;

    friend bool operator==(const AspiAddress&, const AspiAddress&) = default;
    friend auto operator<=>(const AspiAddress&, const AspiAddress&) = default;
};

class VirtualAspiManager {
public:
    explicit VirtualAspiManager(std::uint8_t hostAdapterCount = 1);
    ~VirtualAspiManager();
    VirtualAspiManager(const VirtualAspiManager&) = delete;
    VirtualAspiManager& operator=(const VirtualAspiManager&) = delete;

    // The entry points, with the signatures WNASPI32.DLL exports. They act on the installed
    // manager; with none installed they report that ASPI is not there.
    static std::uint32_t TROZ_ASPI_CALL GetASPI32SupportInfo();
    static std::uint32_t TROZ_ASPI_CALL SendASPI32Command(void* request);

    void Install();
    // Removes this manager if it is the installed one; pending requests are dropped.
    void Uninstall();
    static VirtualAspiManager* Installed();

    // Puts a device at an address (null removes it). The device is not owned.
    void SetDevice(const AspiAddress& address, ScsiDevice* device);
    void SetExecCompletion(AspiCompletion completion) { execCompletion_ = completion; }
    void SetDeviceTypeCompletion(DeviceTypeCompletion completion) {
        deviceTypeCompletion_ = completion;
    }

    // Completion events (the AspiPlatform's CreateEvent and CloseEvent come here).
    EventHandle CreateEvent();
    void CloseEvent(EventHandle event);
    bool IsSignalled(EventHandle event) const;
    std::size_t OpenEventCount() const { return events_.size(); }

    // Completes the commands waiting to complete (not those that never will).
    void CompleteDeferredRequests();
    // What the message pump does: device-type requests waiting for it complete, and so do
    // deferred commands.
    void Pump();

    // For tests.
    int AbortRequestCount() const { return abortRequests_; }
    int AbortedCount() const { return aborted_; }
    std::size_t PendingCount() const {
        return pendingExec_.size() + neverCompleting_.size() + pendingDeviceType_.size();
    }
    const std::vector<AspiAddress>& DeviceTypeQueries() const { return deviceTypeQueries_; }

private:
    struct PendingExec {
        std::uint8_t* request = nullptr;
        DeviceReply reply;
    };
    struct PendingDeviceType {
        std::uint8_t* request = nullptr;
        std::uint8_t status = 0;
        std::uint8_t deviceType = 0;
    };

    std::uint32_t Send(std::uint8_t* request);
    void GetDeviceType(std::uint8_t* request);
    void ExecScsiCommand(std::uint8_t* request);
    void Abort(std::uint8_t* request);
    void Complete(std::uint8_t* request, const DeviceReply& reply);
    void ForgetPending(const std::uint8_t* request);
    ScsiDevice* DeviceAt(const AspiAddress& address) const;
    bool CompletesLater(std::uint32_t length) const;

    std::uint8_t hostAdapterCount_;
    std::map<AspiAddress, ScsiDevice*> devices_;
    AspiCompletion execCompletion_ = AspiCompletion::LaterWithData;
    DeviceTypeCompletion deviceTypeCompletion_ = DeviceTypeCompletion::AtOnce;

    std::map<std::uintptr_t, bool> events_;  // open events and whether they are signalled
    std::uintptr_t nextEvent_ = 0x1000;
    std::vector<PendingExec> pendingExec_;
    std::vector<PendingExec> neverCompleting_;
    std::vector<PendingDeviceType> pendingDeviceType_;

    int abortRequests_ = 0;
    int aborted_ = 0;
    std::vector<AspiAddress> deviceTypeQueries_;
};

}  // namespace troz
