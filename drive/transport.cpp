// The command transport: one 12-byte command on the current target, through the
// pass-through call (NT family, Linux SG_IO) or through WNASPI32.DLL (consumer family).
#include <array>
#include <cstdio>
#include <cstring>

#include "drive/atapi.h"
#include "drive/bytes.h"
#include "drive/sense_data.h"
#include "os/os_errors.h"

namespace troz {

namespace {

// The system directory of the consumer family fits MAX_PATH; the library name follows it.
constexpr std::uint32_t kSystemDirectoryBufferSize = 260;
constexpr const char* kAspiLibraryFormat = "%s\\WNASPI32.DLL";
constexpr const char* kAspiLibraryMissing = "WNASPI32.DLL not found";
constexpr const char* kAspiEntryPointsMissing =
    "WNASPI32.DLL has no ASPI entry points (GetASPI32SupportInfo, SendASPI32Command)";
constexpr std::uint8_t kAspiStatusNotSent = 4;

template <typename Function>
Function ToFunction(void* address) {
    static_assert(sizeof(Function) == sizeof(void*));
    Function function;
    std::memcpy(&function, &address, sizeof function);
    return function;
}

std::uint8_t MapDirectionToDataIn(std::uint8_t direction) {
    if (direction == kDirectionIn) {
        return kScsiIoctlDataIn;
    }
    if (direction == kDirectionOut) {
        return kScsiIoctlDataOut;
    }
    return kScsiIoctlDataUnspecified;
}

CommandCategory CategoryOfScsiStatus(std::uint8_t scsiStatus) {
    if (scsiStatus == kScsiStatusGood) {
        return CommandCategory::AnsweredGood;
    }
    if (scsiStatus == kScsiStatusCheckCondition) {
        return CommandCategory::AnsweredCheckCondition;
    }
    return CommandCategory::AnsweredOtherStatus;
}

// What an adapter or driver status, or the error number of a drive that went away, means
// to the user.
enum class FailureMeaning { AsItsCode, DeviceGone, Busy, Aborted, Reset, LinkFailure };

FailureMeaning MeaningOf(const PlatformError& error) {
    if (error.code == kOsErrorDeviceGone) {
        return FailureMeaning::DeviceGone;
    }
    switch (error.hostStatus) {
        case sg_status::kHostOk:
            break;
        case sg_status::kHostNoConnect:
        case sg_status::kHostBadTarget:
            return FailureMeaning::DeviceGone;
        case sg_status::kHostBusBusy:
            return FailureMeaning::Busy;
        case sg_status::kHostAbort:
            return FailureMeaning::Aborted;
        case sg_status::kHostReset:
            return FailureMeaning::Reset;
        default:
            return FailureMeaning::LinkFailure;
    }
    switch (error.driverStatus & sg_status::kDriverMask) {
        case sg_status::kDriverOk:
        case sg_status::kDriverSense:
            return FailureMeaning::AsItsCode;
        case sg_status::kDriverBusy:
            return FailureMeaning::Busy;
        default:
            return FailureMeaning::LinkFailure;
    }
}

// Failures that mean the same to the user get one message between them: a drive that went
// away reads the same whether the call or the adapter said so, and the adapter's and the
// driver's other statuses count by what they mean, not by their numbers.
bool SameFailure(const PlatformError& a, const PlatformError& b) {
    const FailureMeaning meaning = MeaningOf(a);
    return meaning == MeaningOf(b) && (meaning == FailureMeaning::DeviceGone || a.code == b.code);
}

}  // namespace

bool TAtapi::IsNtFamily() {
    ntFlag_ = platform_.VersionPlatformId() == kVerPlatformWin32Nt ? 1 : 0;
    return ntFlag_ != 0;
}

bool TAtapi::SetUpAspiTransport() {
    AspiPlatform& aspi = platform_.Aspi();
    char systemDirectory[kSystemDirectoryBufferSize] = {};
    const std::uint32_t length =
        aspi.GetSystemDirectory(systemDirectory, kSystemDirectoryBufferSize);
    char libraryPath[kSystemDirectoryBufferSize + 16] = {};
    const bool pathFits = length > 0 && length < kSystemDirectoryBufferSize &&
                          std::snprintf(libraryPath, sizeof libraryPath, kAspiLibraryFormat,
                                        systemDirectory) < static_cast<int>(sizeof libraryPath);
    if (pathFits) {
        aspiLibrary_ = aspi.LoadLibrary(libraryPath);
    }
    if (aspiLibrary_ == nullptr) {
        services_.ShowMessage(kAspiLibraryMissing);
        return false;
    }
    getSupportInfo_ = ToFunction<aspi::GetSupportInfoFunction>(
        aspi.GetProcAddress(aspiLibrary_, "GetASPI32SupportInfo"));
    sendCommand_ = ToFunction<aspi::SendCommandFunction>(
        aspi.GetProcAddress(aspiLibrary_, "SendASPI32Command"));
    if (getSupportInfo_ == nullptr || sendCommand_ == nullptr) {
        // Calling through a missing entry point would crash: treat it as no library.
        aspi.FreeLibrary(aspiLibrary_);
        aspiLibrary_ = nullptr;
        getSupportInfo_ = nullptr;
        sendCommand_ = nullptr;
        services_.ShowMessage(kAspiEntryPointsMissing);
        return false;
    }
    // Cleared once: the transport never writes the reserved fields afterwards.
    requestBlock_ = std::make_unique<std::uint8_t[]>(aspi::exec::kSize);
    return true;
}

std::uint8_t TAtapi::ExecCommand(const std::uint8_t* cdb, void* buffer, std::uint32_t length,
                                 std::uint8_t direction) {
    return Dispatch(cdb, buffer, length, direction);
}

std::uint8_t TAtapi::Dispatch(const std::uint8_t* cdb, const void* buffer, std::uint32_t length,
                              std::uint8_t direction) {
    const std::uint32_t start = clock_.GetTickCount();
    const std::uint8_t status =
        NtFlag() ? ExecPassThrough(cdb, buffer, length, MapDirectionToDataIn(direction))
                 : ExecAspiCommand(cdb, buffer, length, direction);
    outcome_.durationMs = clock_.GetTickCount() - start;
    return status;
}

std::uint8_t TAtapi::ExecPassThrough(const std::uint8_t* cdb, const void* buffer,
                                     std::uint32_t length, std::uint8_t dataIn) {
    FillCommandBlock(passThroughBlock_, cdb, buffer, length, dataIn);
    return FinishPassThrough(platform_.PassThrough().Execute(currentHandle_, passThroughBlock_),
                             length);
}

std::uint8_t TAtapi::FinishPassThrough(const PlatformError& error, std::uint32_t length) {
    const PassThroughBlock& block = passThroughBlock_;
    outcome_ = CommandOutcome{};
    outcome_.platformError = error;
    outcome_.context = error.text;
    outcome_.sense = ReadSense({block.Sense(), pass_through_layout::kSenseBufferSize});
    outcome_.sense.targetStatus = block.ScsiStatus();
    if (error.CallWentThrough()) {
        // The call leaves in the block what moved and how much sense came back.
        const std::uint32_t moved = block.DataTransferLength();
        if (moved <= length) {
            outcome_.residual = length - moved;
        }
        outcome_.senseLength = block.SenseInfoLength();
    }
    if (error.kind == PlatformErrorKind::None) {
        errorShown_ = false;
        outcome_.category = CategoryOfScsiStatus(block.ScsiStatus());
    } else if (error.kind == PlatformErrorKind::TimedOut ||
               error.kind == PlatformErrorKind::IoDevice) {
        // Tolerated: the SCSI status of the block decides.
        outcome_.category = CommandCategory::ToleratedPlatformError;
    } else {
        outcome_.category = MeaningOf(error) == FailureMeaning::DeviceGone
                                ? CommandCategory::NoDevice
                                : CommandCategory::OtherPlatformError;
        if (!errorShown_ || !SameFailure(shownError_, error)) {
            ShowSystemError(error);
            errorShown_ = true;
            shownError_ = error;
        }
        outcome_.status = 0;
        return outcome_.status;
    }
    const std::uint8_t scsiStatus = block.ScsiStatus();
    outcome_.status = scsiStatus != 0 ? scsiStatus : kCommandSuccess;
    return outcome_.status;
}

std::uint8_t TAtapi::FinishAspi(std::uint8_t status, CommandCategory category) {
    outcome_ = CommandOutcome{};
    outcome_.status = status;
    outcome_.category = category;
    if (requestBlock_) {
        outcome_.sense = ReadSense(
            {requestBlock_.get() + aspi::exec::kSenseArea, aspi::kSenseLength + std::size_t{2}});
        outcome_.sense.targetStatus = requestBlock_[aspi::exec::kTargetStatus];
    }
    return status;
}

std::uint8_t TAtapi::ExecAspiCommand(const std::uint8_t* cdb, const void* buffer,
                                     std::uint32_t length, std::uint8_t direction) {
    if (!requestBlock_ || sendCommand_ == nullptr) {
        // No library: there is nothing to send the command through.
        return FinishAspi(kAspiStatusNotSent, CommandCategory::NoDevice);
    }
    AspiPlatform& aspiPlatform = platform_.Aspi();
    EventHandle event = aspiPlatform.CreateEvent();
    if (event == nullptr) {
        return FinishAspi(kAspiStatusNotSent, CommandCategory::OtherPlatformError);
    }
    std::uint8_t* request = requestBlock_.get();
    request[aspi::kCommand] = aspi::kScExecScsiCmd;
    request[aspi::kHostAdapter] = currentHostAdapterId_;
    request[aspi::kFlags] = static_cast<std::uint8_t>(direction | aspi::kSrbEventNotify);
    request[aspi::exec::kTarget] = currentTargetId_;
    request[aspi::exec::kLun] = currentLun_;
    PutNative<std::uint32_t>(request + aspi::exec::kBufferLength, length);
    PutPointer(request + aspi::exec::kBufferPointer, buffer);
    request[aspi::exec::kSenseLengthField] = aspi::kSenseLength;
    request[aspi::exec::kCdbLength] = static_cast<std::uint8_t>(kCdbLength);
    PutPointer(request + aspi::exec::kPostProc, event);
    std::memcpy(request + aspi::exec::kCdb, cdb, kCdbLength);
    // The ASPI layer writes the sense area only for a CHECK CONDITION. Left as it was, a
    // command that succeeds would still show the sense of an earlier refusal, and a trigger
    // that the drive took on its resend would be judged by the sense of the refused one.
    std::memset(request + aspi::exec::kSenseArea, 0, aspi::kSenseLength + 2);

    sendCommand_(request);
    if (request[aspi::kStatus] == aspi::kSsPending) {
        const std::uint32_t waitResult =
            aspiPlatform.WaitForSingleObject(event, kAspiCompletionTimeoutMs);
        if (waitResult == kWaitTimeout || waitResult == kWaitFailed) {
            aspiPlatform.CloseEvent(event);
            AbortRequest(request);
            return FinishAspi(kAspiStatusNotSent, CommandCategory::OtherPlatformError);
        }
    }
    aspiPlatform.CloseEvent(event);
    const std::uint8_t status = request[aspi::kStatus];
    if (status == aspi::kSsNoDevice || status == aspi::kSsInvalidHa) {
        return FinishAspi(status, CommandCategory::NoDevice);
    }
    if (status == aspi::kSsComp) {
        return FinishAspi(status, CommandCategory::AnsweredGood);
    }
    return FinishAspi(status, request[aspi::exec::kTargetStatus] == kScsiStatusCheckCondition
                                  ? CommandCategory::AnsweredCheckCondition
                                  : CommandCategory::AnsweredOtherStatus);
}

void TAtapi::AbortRequest(std::uint8_t* request) {
    SendAbort(currentHostAdapterId_, request);
}

void TAtapi::SendAbort(std::uint8_t hostAdapter, void* request) {
    if (sendCommand_ == nullptr) {
        return;
    }
    std::array<std::uint8_t, aspi::abort::kSize> abortRequest{};
    abortRequest[aspi::kCommand] = aspi::kScAbortSrb;
    abortRequest[aspi::kHostAdapter] = hostAdapter;
    PutPointer(abortRequest.data() + aspi::abort::kToAbort, request);
    sendCommand_(abortRequest.data());
}

void TAtapi::ShowSystemError(const PlatformError& error) {
    if (!error.text.empty()) {
        services_.ShowMessage(error.text + "\n");
        return;
    }
    std::string text;
    std::uint32_t formatError = 0;
    std::string message;
    if (platform_.PassThrough().FormatSystemError(error.code, text, formatError) && !text.empty()) {
        message = text + "\n";
    } else {
        message = "Format message failed.  Error: " + std::to_string(formatError) + "\n";
    }
    services_.ShowMessage(message);
}

void TAtapi::PumpMessages() {
    platform_.PumpOneMessage();
}

}  // namespace troz
