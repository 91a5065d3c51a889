#include "tests/support/drive_fakes.h"

#include <algorithm>
#include <cstring>

#include "drive/bytes.h"
#include "drive/scsi.h"

namespace troz::test {

namespace {

ScriptedAspi* installedAspi = nullptr;
constexpr std::uint8_t kInquiryOpcode = 0x12;

void PutPadded(std::uint8_t* at, const std::string& text, std::size_t width) {
    std::memset(at, ' ', width);
    std::memcpy(at, text.data(), std::min(text.size(), width));
}

}  // namespace

void FillInquiry(const ScriptedDrive& drive, std::uint8_t* reply, std::uint32_t length) {
    std::uint8_t data[96] = {0x05, 0x80, 0x00, 0x32, 0x1F};
    PutPadded(data + 8, drive.vendor, 8);
    PutPadded(data + 16, drive.product, 16);
    PutPadded(data + 32, drive.revision, 4);
    data[38] = 'A';
    data[39] = '1';
    std::memcpy(reply, data, std::min<std::size_t>(length, sizeof data));
}

bool ScriptedPassThrough::IsOpticalDrive(int candidate) {
    return drives[static_cast<std::size_t>(candidate)] != nullptr;
}

std::string ScriptedPassThrough::DevicePath(int candidate) {
    return std::string("\\\\.\\") + static_cast<char>('A' + candidate) + ":";
}

DeviceHandle ScriptedPassThrough::Open(int candidate) {
    opened.push_back(candidate);
    if (openFails[static_cast<std::size_t>(candidate)]) {
        return kInvalidHandle;
    }
    return HandleOf(candidate);
}

void ScriptedPassThrough::Hold(std::vector<ScriptedDrive> list) {
    held_ = std::move(list);
    drives.fill(nullptr);
    for (std::size_t i = 0; i < held_.size() && i < drives.size(); ++i) {
        drives[i] = &held_[i];
    }
}

int ScriptedPassThrough::CloseCount(int candidate) const {
    return static_cast<int>(std::count(closed.begin(), closed.end(), HandleOf(candidate)));
}

PlatformError ScriptedPassThrough::Execute(DeviceHandle handle, PassThroughBlock& block) {
    SentBlock record;
    record.handle = handle;
    record.length = block.Length();
    record.cdbLength = block.CdbLength();
    record.senseInfoLength = block.SenseInfoLength();
    record.dataIn = block.DataIn();
    record.dataTransferLength = block.DataTransferLength();
    record.timeOutValue = block.TimeOutValue();
    record.dataBuffer = block.DataBuffer();
    record.senseInfoOffset = block.SenseInfoOffset();
    std::memcpy(record.cdb.data(), block.Cdb(), 12);
    for (std::size_t i = 0; i < PassThroughBlock::kSize; ++i) {
        const bool known = i < 9 || (i >= pass_through_layout::kDataTransferLength &&
                                     i < pass_through_layout::kCdb + 12);
        if (!known && block.Data()[i] != 0) {
            record.otherBytesZero = false;
        }
    }
    sent.push_back(record);

    Reply reply;
    if (!replies.empty()) {
        reply = replies.front();
        replies.pop_front();
    }
    const auto candidate = static_cast<std::size_t>(handle - HandleOf(0));
    const ScriptedDrive* drive = candidate < drives.size() ? drives[candidate] : nullptr;
    if (record.cdb[0] == kInquiryOpcode && drive != nullptr && !drive->inquiryFails &&
        block.DataBuffer() != nullptr) {
        FillInquiry(*drive, static_cast<std::uint8_t*>(block.DataBuffer()),
                    block.DataTransferLength());
    }
    if (drive != nullptr && drive->inquiryFails && record.cdb[0] == kInquiryOpcode) {
        reply.scsiStatus = kScsiStatusCheckCondition;
        reply.sense = {kSenseIllegalRequest, 0x20, 0x00};
    }
    block.SetScsiStatus(reply.scsiStatus);
    if (reply.sense[0] != 0 || reply.sense[1] != 0) {
        block.Sense()[0] = 0x70;
        block.Sense()[kSenseKeyOffset] = reply.sense[0];
        block.Sense()[kSenseAscOffset] = reply.sense[1];
        block.Sense()[kSenseAscqOffset] = reply.sense[2];
    }
    block.SetDataTransferLength(block.DataTransferLength() -
                                std::min(reply.residual, block.DataTransferLength()));
    block.SetSenseInfoLength(reply.senseLength);
    if (clock != nullptr) {
        clock->Advance(reply.takesMs);
    }
    return reply.error;
}

bool ScriptedPassThrough::FormatSystemError(std::uint32_t code, std::string& text,
                                            std::uint32_t& lastError) {
    if (formatter) {
        return formatter(code, text, lastError);
    }
    text = "System error " + std::to_string(code) + ".";
    return true;
}

ScriptedAspi::ScriptedAspi() {
    installedAspi = this;
}

ScriptedAspi::~ScriptedAspi() {
    installedAspi = nullptr;
}

std::uint32_t ScriptedAspi::GetSystemDirectory(char* buffer, std::uint32_t size) {
    const auto length = static_cast<std::uint32_t>(systemDirectory.size());
    if (length + 1 > size) {
        return length + 1;
    }
    std::memcpy(buffer, systemDirectory.c_str(), length + 1);
    return length;
}

ModuleHandle ScriptedAspi::LoadLibrary(const char* path) {
    loadedPaths.emplace_back(path);
    return libraryPresent ? this : nullptr;
}

void* ScriptedAspi::GetProcAddress(ModuleHandle module, const char* name) {
    if (module != this || !entryPointsPresent) {
        return nullptr;
    }
    void* address = nullptr;
    if (std::strcmp(name, "GetASPI32SupportInfo") == 0) {
        auto function = &ScriptedAspi::SupportInfo;
        std::memcpy(&address, &function, sizeof address);
    } else if (std::strcmp(name, "SendASPI32Command") == 0) {
        auto function = &ScriptedAspi::SendCommand;
        std::memcpy(&address, &function, sizeof address);
    }
    return address;
}

EventHandle ScriptedAspi::CreateEvent() {
    if (eventCreationFails) {
        return nullptr;
    }
    return reinterpret_cast<EventHandle>(static_cast<std::intptr_t>(0x5000 + ++eventToken_));
}

std::uint32_t ScriptedAspi::WaitForSingleObject(EventHandle, std::uint32_t milliseconds) {
    waits.push_back(milliseconds);
    if (completion == Completion::OnWait && pendingRequest != nullptr) {
        CompleteExecute(static_cast<std::uint8_t*>(pendingRequest));
        pendingRequest = nullptr;
        return kWaitObject0;
    }
    if (clock != nullptr) {
        clock->Sleep(milliseconds);
    }
    return kWaitTimeout;
}

std::uint32_t ScriptedAspi::SupportInfo() {
    return static_cast<std::uint32_t>((aspi::kSsComp << 8) | installedAspi->hostAdapterCount);
}

void ScriptedAspi::CompleteExecute(std::uint8_t* request) {
    const std::uint8_t* cdb = request + aspi::exec::kCdb;
    auto* buffer = static_cast<std::uint8_t*>(GetPointer(request + aspi::exec::kBufferPointer));
    if (cdb[0] == kInquiryOpcode && buffer != nullptr) {
        FillInquiry(drive, buffer, GetNative<std::uint32_t>(request + aspi::exec::kBufferLength));
    }
    request[aspi::exec::kTargetStatus] = targetStatus;
    if (sense[0] != 0 || sense[1] != 0) {
        std::uint8_t* area = request + aspi::exec::kSenseArea;
        area[kSenseKeyOffset] = sense[0];
        area[kSenseAscOffset] = sense[1];
        area[kSenseAscqOffset] = sense[2];
    }
    request[aspi::kStatus] = executeStatus;
}

std::uint32_t ScriptedAspi::SendCommand(void* requestPointer) {
    ScriptedAspi& self = *installedAspi;
    auto* request = static_cast<std::uint8_t*>(requestPointer);
    switch (request[aspi::kCommand]) {
        case aspi::kScGetDevType: {
            const int hostAdapter = request[aspi::kHostAdapter];
            const int target = request[aspi::gdev::kTarget];
            const int lun = request[aspi::gdev::kLun];
            self.deviceTypeRequests.push_back({hostAdapter, target, lun});
            const int type = self.deviceType(hostAdapter, target, lun);
            request[aspi::gdev::kDeviceType] = static_cast<std::uint8_t>(type < 0 ? 0 : type);
            request[aspi::kStatus] = type < 0 ? aspi::kSsNoDevice : aspi::kSsComp;
            if (self.deviceTypeNeverCompletes || self.deviceTypePendingPumps > 0) {
                self.pendingDeviceType = request;
                self.pendingPumps = self.deviceTypePendingPumps;
                request[aspi::kStatus] = aspi::kSsPending;
            }
            break;
        }
        case aspi::kScExecScsiCmd:
            self.executeRequests.emplace_back(request, request + aspi::exec::kSize);
            if (self.completion == Completion::AtOnce) {
                self.CompleteExecute(request);
            } else {
                request[aspi::kStatus] = aspi::kSsPending;
                self.pendingRequest = request;
            }
            break;
        case aspi::kScAbortSrb:
            self.aborted.push_back(GetPointer(request + aspi::abort::kToAbort));
            self.abortHostAdapters.push_back(request[aspi::kHostAdapter]);
            if (self.pendingRequest == GetPointer(request + aspi::abort::kToAbort)) {
                self.pendingRequest = nullptr;
            }
            break;
        default:
            break;
    }
    return 0;
}

void ScriptedAspi::Pump() {
    if (pendingDeviceType == nullptr || deviceTypeNeverCompletes) {
        return;
    }
    if (--pendingPumps <= 0) {
        const int type =
            deviceType(pendingDeviceType[aspi::kHostAdapter],
                       pendingDeviceType[aspi::gdev::kTarget], pendingDeviceType[aspi::gdev::kLun]);
        pendingDeviceType[aspi::kStatus] = type < 0 ? aspi::kSsNoDevice : aspi::kSsComp;
        pendingDeviceType = nullptr;
    }
}

}  // namespace troz::test
