// The direct download procedure: one vendor download command per block, then the trigger.
#include "update/flash_driver.h"

namespace troz {

namespace {

constexpr std::uint8_t kFunctionStoreBlock = 5;
constexpr std::uint8_t kFunctionTriggerFirst = 4;
constexpr std::uint8_t kFunctionTriggerResend = 5;
constexpr int kProgressBlocks = 80;

}  // namespace

bool FlashDriver::DirectDownload() {
    retried_ = false;
    OpenImage image;
    if (!OpenPickedImage(image)) {
        return false;
    }
    clock_.Sleep(kDirectPauseBeforeBlocksMs);
    if (!SendDirectBlocks(image)) {
        return false;
    }
    if (!SentWhatWasChecked(image)) {
        return false;
    }
    window_.SetProgress(kProgressTrigger);
    SendDirectTrigger();
    if (!SenseAllowsWait(atapi_.LastOutcome().sense)) {
        return false;
    }
    window_.SetProgress(kProgressTriggered);
    if (retried_) {
        clock_.Sleep(kPauseAfterResendMs);
    }
    return FinishWait(WindowEvents::Dispatch);
}

bool FlashDriver::SendDirectBlocks(OpenImage& image) {
    const int blockCount = header_.BlockCount();
    for (int n = 0; n < blockCount; ++n) {
        window_.SetProgress((n + 1) * kProgressBlocks / blockCount);
        if (!ReadBlock(image, n, 0)) {
            return false;
        }
        MarkDriveBeingWritten();
        const std::uint8_t status =
            atapi_.VendorDownload(image.buffer.get(), kFunctionStoreBlock,
                                  static_cast<std::uint8_t>(n), header_.BlockSize(n), 0);
        if (status != kCommandSuccess) {
            ReportCommandFailure(status);
            return false;
        }
    }
    return true;
}

void FlashDriver::SendDirectTrigger() {
    SendTrigger(kFunctionTriggerFirst, TriggerCode(kTriggerCodeE0));
    if (triggerStatus_ == kCommandSuccess ||
        atapi_.LastOutcome().sense.senseKey != kSenseIllegalRequest) {
        return;
    }
    // Drives that do not know function 4 refuse it; they take the same trigger with 5.
    if (!atapi_.NtFlag()) {
        atapi_.TestUnitReady();
    }
    retried_ = true;
    SendTrigger(kFunctionTriggerResend, TriggerCode(kTriggerCodeE0));
    if (IsParameterListLengthError(atapi_.LastOutcome().sense)) {
        // Drives that count the blocks differently want the other trigger code.
        atapi_.TestUnitReady();
        SendTrigger(kFunctionTriggerResend, TriggerCode(kTriggerCodeF0));
    }
}

}  // namespace troz
