#include "tests/win32/wnaspi32/test_aspi_layer.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "drive/aspi_layout.h"
#include "drive/bytes.h"
#include "drive/scsi.h"

namespace troz::wnaspi32 {

namespace {

// Device-type requests for this host adapter complete on a thread of the layer.
constexpr std::uint8_t kLaterDeviceTypeAdapter = 1;

struct NamedPersonality {
    const char* name;
    Personality personality;
};
constexpr NamedPersonality kFirstDrivePersonalities[] = {
    {"direct", Personality::Direct},
    {"resend-function5", Personality::ResendWithFunction5},
    {"third-attempt", Personality::ThirdAttempt},
    {"never-comes-back", Personality::NeverComesBack},
};

const char* Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::optional<std::filesystem::path> StateFile() {
    const char* path = Setting("TROZ_WNASPI32_STATE");
    if (path == nullptr) {
        return std::nullopt;
    }
    return std::filesystem::path(path);
}

std::optional<Personality> FirstDrivePersonality() {
    const char* name = Setting("TROZ_WNASPI32_FIRST_DRIVE");
    if (name == nullptr) {
        return std::nullopt;
    }
    for (const NamedPersonality& named : kFirstDrivePersonalities) {
        if (std::strcmp(named.name, name) == 0) {
            return named.personality;
        }
    }
    return std::nullopt;
}

std::string Format(const char* format, auto... values) {
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string Address(const std::uint8_t* request, std::size_t targetOffset, std::size_t lunOffset) {
    return Format("%u:%u:%u", request[aspi::kHostAdapter], request[targetOffset],
                  request[lunOffset]);
}

void PublishStatus(std::uint8_t* request, std::uint8_t status) {
    // Every other field is in place before the caller can see the request completed.
    std::atomic_thread_fence(std::memory_order_release);
    request[aspi::kStatus] = status;
}

struct Job {
    TestAspiLayer* layer = nullptr;
    std::uint8_t* request = nullptr;
    bool deviceType = false;
    HANDLE event = nullptr;  // the layer's own handle of the caller's event, or null
    std::uint32_t arrival = 0;
    HMODULE module = nullptr;  // keeps the library loaded until the job is done
};

DWORD WINAPI CompletionThread(void* parameter) {
    std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    if (job->deviceType) {
        job->layer->CompleteDeviceType(job->request, job->arrival);
    } else {
        job->layer->CompleteExec(job->request, job->event, job->arrival);
    }
    const HMODULE module = job->module;
    job.reset();
    // The caller may unload the library as soon as its request is complete; this thread
    // still runs code of it, so it gives up its own reference only on the way out.
    FreeLibraryAndExitThread(module, 0);
}

// False when no thread could be started; the job is then the caller's to do.
bool StartCompletion(const Job& job) {
    auto owned = std::make_unique<Job>(job);
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&CompletionThread), &owned->module)) {
        return false;
    }
    const HANDLE thread = CreateThread(nullptr, 0, &CompletionThread, owned.get(), 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(owned->module);
        return false;
    }
    owned.release();
    CloseHandle(thread);
    return true;
}

HANDLE DuplicateEvent(const std::uint8_t* request) {
    if ((request[aspi::kFlags] & aspi::kSrbEventNotify) == 0) {
        return nullptr;
    }
    // The caller closes its handle once it has seen the request complete; signalling
    // through a handle of our own never touches a handle the caller has reused.
    HANDLE duplicate = nullptr;
    const HANDLE event = static_cast<HANDLE>(GetPointer(request + aspi::exec::kPostProc));
    if (!DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return duplicate;
}

}  // namespace

CommandLog::CommandLog(const char* path) : file_(std::fopen(path, "a")) {}

CommandLog::~CommandLog() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void CommandLog::Write(const std::string& line) {
    if (file_ != nullptr) {
        std::fputs((line + "\n").c_str(), file_);
        std::fflush(file_);
    }
}

TestAspiLayer::TestAspiLayer() : start_(clock_.GetTickCount()), drives_(clock_, StateFile()) {
    if (const char* path = Setting("TROZ_WNASPI32_LOG")) {
        log_ = std::make_unique<CommandLog>(path);
    }
    const auto descriptions = BuiltinDriveDescriptions();
    const std::optional<Personality> firstDrive = FirstDrivePersonality();
    for (std::size_t i = 0; i < kBuiltinDriveCount; ++i) {
        VirtualDrive& drive = drives_.Drive(i);
        if (i == 0 && firstDrive) {
            drive.Config() = ConfigFor(*firstDrive, drive.Config().identity);
        }
        drive.Config().programmingMs = kProgrammingMs;
        drive.Config().commandLatencyMs = kCommandLatencyMs;
        addresses_[descriptions[i].address] = &drive;
    }
}

std::uint32_t TestAspiLayer::Now() {
    return clock_.GetTickCount() - start_;
}

std::uint32_t TestAspiLayer::SupportInfo() const {
    return AspiSupportInfo(aspi::kSsComp, kBuiltinHostAdapterCount);
}

std::uint32_t TestAspiLayer::Send(std::uint8_t* request) {
    if (request == nullptr) {
        return kSsInvalidRequest;
    }
    const std::uint32_t arrival = Now();
    const std::uint8_t command = request[aspi::kCommand];
    if (command == aspi::kScAbortSrb) {
        Abort(request, arrival);
    } else if (request[aspi::kHostAdapter] >= kBuiltinHostAdapterCount) {
        PublishStatus(request, aspi::kSsInvalidHa);
    } else if (command == aspi::kScGetDevType) {
        GetDeviceType(request, arrival);
    } else if (command == aspi::kScExecScsiCmd) {
        ExecScsiCommand(request, arrival);
    } else {
        PublishStatus(request, kSsInvalidCommand);
    }
    return aspi::kSsPending;  // callers take the outcome from the request's status byte
}

VirtualDrive* TestAspiLayer::DriveAt(const AspiAddress& address) const {
    const auto found = addresses_.find(address);
    if (found == addresses_.end() || !found->second->Present()) {
        return nullptr;
    }
    return found->second;
}

void TestAspiLayer::GetDeviceType(std::uint8_t* request, std::uint32_t arrival) {
    request[aspi::kStatus] = aspi::kSsPending;
    {
        const std::lock_guard lock(mutex_);
        pending_.insert(request);
    }
    if (request[aspi::kHostAdapter] != kLaterDeviceTypeAdapter ||
        !StartCompletion({this, request, true, nullptr, arrival, nullptr})) {
        CompleteDeviceType(request, arrival);
    }
}

void TestAspiLayer::CompleteDeviceType(std::uint8_t* request, std::uint32_t arrival) {
    const std::lock_guard lock(mutex_);
    if (pending_.erase(request) == 0) {
        return;  // aborted meanwhile
    }
    const bool later = request[aspi::kHostAdapter] == kLaterDeviceTypeAdapter;
    const std::string address = Address(request, aspi::gdev::kTarget, aspi::gdev::kLun);
    const AspiAddress where{request[aspi::kHostAdapter], request[aspi::gdev::kTarget],
                            request[aspi::gdev::kLun]};
    const bool present = DriveAt(where) != nullptr;
    request[aspi::gdev::kDeviceType] = present ? aspi::kDeviceTypeCdrom : 0;
    const std::uint8_t status = present ? aspi::kSsComp : aspi::kSsNoDevice;
    if (log_) {
        log_->Write(Format("%u devtype %s %s -> %x %x", arrival, address.c_str(),
                           later ? "later" : "now", status, request[aspi::gdev::kDeviceType]));
    }
    PublishStatus(request, status);
}

void TestAspiLayer::ExecScsiCommand(std::uint8_t* request, std::uint32_t arrival) {
    const auto length = GetNative<std::uint32_t>(request + aspi::exec::kBufferLength);
    request[aspi::kStatus] = aspi::kSsPending;
    {
        const std::lock_guard lock(mutex_);
        pending_.insert(request);
    }
    const HANDLE event = length > 0 ? DuplicateEvent(request) : nullptr;
    if (length == 0 || !StartCompletion({this, request, false, event, arrival, nullptr})) {
        CompleteExec(request, event, arrival);
    }
}

void TestAspiLayer::CompleteExec(std::uint8_t* request, void* event, std::uint32_t arrival) {
    {
        const std::lock_guard lock(mutex_);
        if (pending_.erase(request) != 0) {
            const std::string line = Format("%u exec ", arrival) + Execute(request);
            if (log_) {
                log_->Write(line);
            }
        } else if (log_) {
            log_->Write(Format("%u exec aborted before it completed", arrival));
        }
    }
    if (event != nullptr) {
        SetEvent(static_cast<HANDLE>(event));
        CloseHandle(static_cast<HANDLE>(event));
    }
}

std::string TestAspiLayer::Execute(std::uint8_t* request) {
    const AspiAddress address{request[aspi::kHostAdapter], request[aspi::exec::kTarget],
                              request[aspi::exec::kLun]};
    const auto length = GetNative<std::uint32_t>(request + aspi::exec::kBufferLength);
    std::string line = Address(request, aspi::exec::kTarget, aspi::exec::kLun) + " ";
    for (std::size_t i = 0; i < kCdbLength; ++i) {
        line += Format("%02x", request[aspi::exec::kCdb + i]);
    }
    line += Format(" %u %s -> ", length, length > 0 ? "later" : "now");

    DeviceReply reply;
    reply.fault = TransportFault::Gone;
    if (VirtualDrive* drive = DriveAt(address)) {
        reply = RunExecRequest(*drive, request);
    }
    const std::uint8_t status = CompleteExecRequest(request, reply);
    const std::uint8_t* sense = request + aspi::exec::kSenseArea;
    line += Format("%x %x %x %x %x", status, request[aspi::exec::kTargetStatus],
                   sense[kSenseKeyOffset], sense[kSenseAscOffset], sense[kSenseAscqOffset]);
    PublishStatus(request, status);
    return line;
}

void TestAspiLayer::Abort(std::uint8_t* request, std::uint32_t arrival) {
    auto* toAbort = static_cast<std::uint8_t*>(GetPointer(request + aspi::abort::kToAbort));
    const std::lock_guard lock(mutex_);
    std::uint8_t status = aspi::kSsAbortFail;
    if (toAbort != nullptr && pending_.erase(toAbort) != 0) {
        PublishStatus(toAbort, aspi::kSsAborted);
        status = aspi::kSsComp;
    }
    if (log_) {
        log_->Write(Format("%u abort -> %x", arrival, status));
    }
    PublishStatus(request, status);
}

}  // namespace troz::wnaspi32
