// The direct download procedure: one vendor download command per block, then the trigger.
#include "update/flash_driver.h"

namespace troz {

namespace {

constexpr std::uint8_t kFunctionStoreBlock = 5;
constexpr std::uint8_t kFunctionTriggerFirst = 4;
constexpr std::uint8_t kFunctionTriggerResend = 5;
constexpr int kProgressBlocks = 80;

}  // namespace

const FlashDriver::Procedure FlashDriver::kDirectProcedure = {
    kDirectPauseBeforeBlocksMs, &FlashDriver::SendDirectBlocks, &FlashDriver::SendDirectTrigger, 0,
    WindowEvents::Dispatch};

bool FlashDriver::DirectDownload() {
    return RunProcedure(kDirectProcedure) == Step::Done;
}

FlashDriver::Step FlashDriver::SendDirectBlocks(OpenImage& image) {
    const int blockCount = header_.BlockCount();
    for (int n = 0; n < blockCount; ++n) {
        window_.SetProgress((n + 1) * kProgressBlocks / blockCount);
        if (const Step read = ReadBlock(image, n, 0); read != Step::Done) {
            return read;
        }
        MarkDriveBeingWritten();
        const std::uint8_t status =
            atapi_.VendorDownload(image.buffer.get(), kFunctionStoreBlock,
                                  static_cast<std::uint8_t>(n), header_.BlockSize(n), 0);
        if (status != kCommandSuccess) {
            ReportBlockFailure(n, status);
            return Step::Failed;
        }
    }
    return Step::Done;
}

FlashDriver::TriggerResult FlashDriver::SendDirectTrigger() {
    TriggerResult trigger = SendTrigger(kFunctionTriggerFirst, TriggerCode(kTriggerCodeE0));
    if (trigger.status == kCommandSuccess || trigger.sense.senseKey != kSenseIllegalRequest) {
        return trigger;
    }
    // Drives that do not know function 4 refuse it; they take the same trigger with 5.
    if (!atapi_.NtFlag()) {
        atapi_.TestUnitReady();
    }
    trigger = SendTrigger(kFunctionTriggerResend, TriggerCode(kTriggerCodeE0));
    if (IsParameterListLengthError(trigger.sense)) {
        // Drives that count the blocks differently want the other trigger code.
        atapi_.TestUnitReady();
        trigger = SendTrigger(kFunctionTriggerResend, TriggerCode(kTriggerCodeF0));
    }
    trigger.resent = true;
    return trigger;
}

}  // namespace troz
