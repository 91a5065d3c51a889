#include "virtual/aspi_manager.h"

#include <algorithm>
#include <cstring>

#include "drive/bytes.h"
#include "drive/scsi.h"

namespace troz {

namespace {

VirtualAspiManager* installedManager = nullptr;

std::uintptr_t EventId(EventHandle event) {
    return reinterpret_cast<std::uintptr_t>(event);
}

AspiAddress AddressOf(const std::uint8_t* request, std::size_t targetOffset,
                      std::size_t lunOffset) {
    return {request[aspi::kHostAdapter], request[targetOffset], request[lunOffset]};
}

}  // namespace

VirtualAspiManager::VirtualAspiManager(std::uint8_t hostAdapterCount)
    : hostAdapterCount_(hostAdapterCount) {}

VirtualAspiManager::~VirtualAspiManager() {
    Uninstall();
}

std::uint32_t VirtualAspiManager::GetASPI32SupportInfo() {
    if (installedManager == nullptr) {
        return AspiSupportInfo(kSsNoAdapters, 0);
    }
    return AspiSupportInfo(aspi::kSsComp, installedManager->hostAdapterCount_);
}

std::uint32_t VirtualAspiManager::SendASPI32Command(void* request) {
    auto* bytes = static_cast<std::uint8_t*>(request);
    if (bytes == nullptr) {
        return kSsInvalidRequest;
    }
    if (installedManager == nullptr) {
        bytes[aspi::kStatus] = kSsNoAspi;
        return kSsNoAspi;
    }
    return installedManager->Send(bytes);
}

void VirtualAspiManager::Install() {
    installedManager = this;
}

void VirtualAspiManager::Uninstall() {
    if (installedManager == this) {
        installedManager = nullptr;
    }
    pendingExec_.clear();
    neverCompleting_.clear();
    pendingDeviceType_.clear();
}

VirtualAspiManager* VirtualAspiManager::Installed() {
    return installedManager;
}

void VirtualAspiManager::SetDevice(const AspiAddress& address, ScsiDevice* device) {
    if (device == nullptr) {
        devices_.erase(address);
    } else {
        devices_[address] = device;
    }
}

ScsiDevice* VirtualAspiManager::DeviceAt(const AspiAddress& address) const {
    const auto found = devices_.find(address);
    if (found == devices_.end() || !found->second->Present()) {
        return nullptr;
    }
    return found->second;
}

std::uint32_t VirtualAspiManager::Send(std::uint8_t* request) {
    const std::uint8_t command = request[aspi::kCommand];
    if (command == aspi::kScAbortSrb) {
        Abort(request);
    } else if (request[aspi::kHostAdapter] >= hostAdapterCount_) {
        request[aspi::kStatus] = aspi::kSsInvalidHa;
    } else if (command == aspi::kScGetDevType) {
        GetDeviceType(request);
    } else if (command == aspi::kScExecScsiCmd) {
        ExecScsiCommand(request);
    } else {
        request[aspi::kStatus] = kSsInvalidCommand;
    }
    return request[aspi::kStatus];
}

void VirtualAspiManager::GetDeviceType(std::uint8_t* request) {
    const AspiAddress address = AddressOf(request, aspi::gdev::kTarget, aspi::gdev::kLun);
    deviceTypeQueries_.push_back(address);
    ForgetPending(request);
    const bool present = DeviceAt(address) != nullptr;
    const std::uint8_t status = present ? aspi::kSsComp : aspi::kSsNoDevice;
    const std::uint8_t deviceType = present ? aspi::kDeviceTypeCdrom : 0;
    if (deviceTypeCompletion_ == DeviceTypeCompletion::AtOnce) {
        request[aspi::gdev::kDeviceType] = deviceType;
        request[aspi::kStatus] = status;
        return;
    }
    request[aspi::kStatus] = aspi::kSsPending;
    if (deviceTypeCompletion_ == DeviceTypeCompletion::OnPump) {
        pendingDeviceType_.push_back({request, status, deviceType});
    } else {
        neverCompleting_.push_back({request, {}});
    }
}

bool VirtualAspiManager::CompletesLater(std::uint32_t length) const {
    switch (execCompletion_) {
        case AspiCompletion::AtOnce:
            return false;
        case AspiCompletion::Later:
            return true;
        case AspiCompletion::LaterWithData:
            break;
    }
    return length > 0;
}

void VirtualAspiManager::ExecScsiCommand(std::uint8_t* request) {
    // The caller reuses its request block: an earlier request in it is over.
    ForgetPending(request);
    ScsiDevice* device = DeviceAt(AddressOf(request, aspi::exec::kTarget, aspi::exec::kLun));
    if (device == nullptr) {
        request[aspi::kStatus] = aspi::kSsNoDevice;
        return;
    }
    const DeviceReply reply = RunExecRequest(*device, request);
    const auto length = GetNative<std::uint32_t>(request + aspi::exec::kBufferLength);

    request[aspi::kStatus] = aspi::kSsPending;
    if (reply.fault == TransportFault::TimedOut) {
        neverCompleting_.push_back({request, reply});
    } else if (CompletesLater(length)) {
        pendingExec_.push_back({request, reply});
    } else {
        Complete(request, reply);
    }
}

void VirtualAspiManager::Complete(std::uint8_t* request, const DeviceReply& reply) {
    request[aspi::kStatus] = CompleteExecRequest(request, reply);
    if ((request[aspi::kFlags] & aspi::kSrbEventNotify) != 0) {
        const auto event = events_.find(EventId(GetPointer(request + aspi::exec::kPostProc)));
        if (event != events_.end()) {
            event->second = true;
        }
    }
}

void VirtualAspiManager::Abort(std::uint8_t* request) {
    ++abortRequests_;
    auto* toAbort = static_cast<std::uint8_t*>(GetPointer(request + aspi::abort::kToAbort));
    const std::size_t before = PendingCount();
    ForgetPending(toAbort);
    if (PendingCount() < before) {
        ++aborted_;
        toAbort[aspi::kStatus] = aspi::kSsAborted;
        request[aspi::kStatus] = aspi::kSsComp;
    } else {
        request[aspi::kStatus] = aspi::kSsAbortFail;
    }
}

void VirtualAspiManager::ForgetPending(const std::uint8_t* request) {
    const auto same = [request](const auto& pending) { return pending.request == request; };
    std::erase_if(pendingExec_, same);
    std::erase_if(neverCompleting_, same);
    std::erase_if(pendingDeviceType_, same);
}

EventHandle VirtualAspiManager::CreateEvent() {
    const std::uintptr_t id = nextEvent_++;
    events_[id] = false;
    return reinterpret_cast<EventHandle>(id);
}

void VirtualAspiManager::CloseEvent(EventHandle event) {
    events_.erase(EventId(event));
}

bool VirtualAspiManager::IsSignalled(EventHandle event) const {
    const auto found = events_.find(EventId(event));
    return found != events_.end() && found->second;
}

void VirtualAspiManager::CompleteDeferredRequests() {
    std::vector<PendingExec> due;
    due.swap(pendingExec_);
    for (const PendingExec& pending : due) {
        Complete(pending.request, pending.reply);
    }
}

void VirtualAspiManager::Pump() {
    std::vector<PendingDeviceType> due;
    due.swap(pendingDeviceType_);
    for (const PendingDeviceType& pending : due) {
        pending.request[aspi::gdev::kDeviceType] = pending.deviceType;
        pending.request[aspi::kStatus] = pending.status;
    }
    CompleteDeferredRequests();
}

}  // namespace troz
