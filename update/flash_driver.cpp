#include "update/flash_driver.h"

#include <array>
#include <cstdarg>
#include <cstdio>

#include "update/validate_package.h"

namespace troz {

namespace {

constexpr std::uint8_t kAscParameterListLength = 0x1A;
// NOT READY with this ASC means the drive has no disc: it is up and answering again.
constexpr std::uint8_t kAscMediumNotPresent = 0x3A;
constexpr std::uint32_t kMillisecondsPerSecond = 1000;
// A poll that no drive answered (the platform call failed, the device is gone) returns at
// once; the next one waits this long so the wait does not spin a core for two minutes.
constexpr std::uint32_t kUnansweredPollPauseMs = 100;
constexpr int kProgressStart = 0;
constexpr int kProgressFlashing = 20;
constexpr int kProgressMaximum = 100;

}  // namespace

bool IsParameterListLengthError(const SenseBytes& sense) {
    return sense.senseKey == kSenseIllegalRequest && sense.asc == kAscParameterListLength &&
           sense.ascq == 0;
}

std::string FormatFlashLine(const char* format, ...) {
    char line[160];
    std::va_list values;
    va_start(values, format);
    std::vsnprintf(line, sizeof line, format, values);
    va_end(values);
    return line;
}

FlashDriver::FlashDriver(TAtapi& atapi, UpdateWindow& window, Clock& clock, CheckedPackage& package,
                         const PackageHeader& headerCopy, const PackageState& state)
    : atapi_(atapi),
      window_(window),
      clock_(clock),
      package_(package),
      header_(headerCopy),
      state_(state) {}

bool FlashDriver::FlashFirmware() {
    const bool flashed = RunProcedures();
    if (driveBeingWritten_) {
        driveBeingWritten_ = false;
        window_.SetDriveBeingWritten(false);
    }
    return flashed;
}

void FlashDriver::MarkDriveBeingWritten() {
    if (!driveBeingWritten_) {
        driveBeingWritten_ = true;
        window_.SetDriveBeingWritten(true);
    }
}

bool FlashDriver::RunProcedures() {
    window_.SetProgress(kProgressStart);
    window_.SetProgressRange(0, kProgressMaximum);
    window_.SetProgress(kProgressFlashing);
    window_.AddLogLine(kFlashingLine);
    const Step direct = RunProcedure(kDirectProcedure);
    if (direct != Step::Failed) {
        return direct == Step::Done;
    }
    // Whatever made the direct procedure fail, a drive that says it takes WRITE BUFFER
    // downloads gets the buffered procedure.
    if (QueryVendorFlag() == 0) {
        window_.AddLogLine(kRefusalNoBufferedDownload);
        return false;
    }
    const Step buffered = RunProcedure(kBufferedProcedure);
    // A changed package has said so in its own line; the drive did not fail.
    if (buffered == Step::Failed) {
        window_.AddLogLine(kFlashFailBoth);
    }
    return buffered == Step::Done;
}

FlashDriver::Step FlashDriver::RunProcedure(const Procedure& procedure) {
    OpenImage image;
    if (const Step opened = OpenPickedImage(image); opened != Step::Done) {
        return opened;
    }
    clock_.Sleep(procedure.pauseBeforeBlocksMs);
    if (const Step sent = (this->*procedure.sendBlocks)(image); sent != Step::Done) {
        return sent;
    }
    if (const Step checked = SentWhatWasChecked(image); checked != Step::Done) {
        return checked;
    }
    window_.SetProgress(kProgressTrigger);
    const TriggerResult trigger = (this->*procedure.sendTrigger)();
    if (!SenseAllowsWait(trigger)) {
        return Step::Failed;
    }
    window_.SetProgress(kProgressTriggered);
    if (procedure.ntPauseBeforeWaitMs != 0 && atapi_.NtFlag()) {
        clock_.Sleep(procedure.ntPauseBeforeWaitMs);
    } else if (trigger.resent) {
        clock_.Sleep(kPauseAfterResendMs);
    }
    return FinishWait(procedure.events, trigger) ? Step::Done : Step::Failed;
}

std::uint8_t FlashDriver::QueryVendorFlag() {
    std::array<std::uint8_t, kVendorQueryLength> reply{};
    if (atapi_.VendorQuery(reply) == kCommandSuccess) {
        return reply[0];
    }
    if (atapi_.VendorQuery(reply) == kCommandSuccess) {
        return reply[0];
    }
    return 0;
}

FlashDriver::Step FlashDriver::OpenPickedImage(OpenImage& image) {
    image.buffer = AllocateWorkingBuffer();
    if (!image.buffer) {
        window_.AddLogLine(kMemoryAllocation);
        return Step::Failed;
    }
    const std::int32_t imageIndex = header_.IsMultiImage() ? state_.imageIndex : 0;
    // Tables and buffers are only ever read within their bounds, even for a package that
    // changed on disk after it was validated.
    if (const auto refusal = PackageRefusal(header_, imageIndex)) {
        window_.AddLogLine(*refusal);
        return Step::Failed;
    }
    if (!package_.IsOpen()) {
        window_.AddLogLine(kOpenFirmwareFileError);
        return Step::Failed;
    }
    if (!package_.Unchanged()) {
        return ReportPackageChanged();
    }
    if (!package_.stream->Seek(ImagePosition(header_, imageIndex))) {
        window_.AddLogLine(kReadFirmwareFileError);
        return Step::Failed;
    }
    return Step::Done;
}

FlashDriver::Step FlashDriver::ReportPackageChanged() {
    window_.AddLogLine(kPackageChanged);
    return Step::PackageChanged;
}

FlashDriver::Step FlashDriver::SentWhatWasChecked(const OpenImage& image) {
    if (image.sentSum == package_.sum && package_.Unchanged()) {
        return Step::Done;
    }
    return ReportPackageChanged();
}

FlashDriver::Step FlashDriver::ReadBlock(OpenImage& image, int blockNumber,
                                         std::uint32_t bufferOffset) {
    const std::uint16_t blockSize = header_.BlockSize(blockNumber);
    if (blockSize > kWorkingBufferSize - bufferOffset) {
        window_.AddLogLine(kRefusalBlockSize);
        return Step::Failed;
    }
    std::uint8_t* block = image.buffer.get() + bufferOffset;
    if (package_.stream->Read(block, blockSize) != blockSize) {
        if (!package_.Unchanged()) {
            return ReportPackageChanged();
        }
        window_.AddLogLine(kReadFirmwareFileError);
        return Step::Failed;
    }
    if (header_.IsScrambled()) {
        Descramble(block, blockSize);
    }
    // A block rewritten since the check never goes out, even when its sum stayed the same.
    if (blockNumber >= kBlockSizeTableEntries ||
        BlockDigest(block, blockSize) !=
            package_.blockDigests[static_cast<std::size_t>(blockNumber)]) {
        return ReportPackageChanged();
    }
    image.sentSum = static_cast<std::uint16_t>(image.sentSum + SumBytes(block, blockSize));
    return Step::Done;
}

void FlashDriver::ReportBlockFailure(int blockNumber, std::uint8_t status) {
    window_.AddLogLine(FormatFlashLine("Status:0x%x ; Err:Flash command(W) has problems.", status));
    window_.FlashBlockFailed(blockNumber, status);
}

std::uint8_t FlashDriver::TriggerCode(std::uint8_t base) const {
    return static_cast<std::uint8_t>(base + header_.BlockCount());
}

FlashDriver::TriggerResult FlashDriver::SendTrigger(std::uint8_t functionCode,
                                                    std::uint8_t triggerCode) {
    MarkDriveBeingWritten();
    const std::int32_t imageIndex = header_.IsMultiImage() ? state_.imageIndex : 0;
    TriggerResult trigger;
    trigger.status = atapi_.VendorDownload(nullptr, functionCode, triggerCode, 0,
                                           ExpectedChecksum(header_, imageIndex));
    const CommandOutcome& outcome = atapi_.LastOutcome();
    trigger.sense = outcome.sense;
    trigger.confirmed =
        outcome.SucceededOnDrive() || (trigger.sense.targetStatus == kScsiStatusCheckCondition &&
                                       trigger.sense.senseKey == kSenseNotReady);
    return trigger;
}

bool FlashDriver::SenseAllowsWait(const TriggerResult& trigger) {
    const SenseBytes& sense = trigger.sense;
    // No sense, or not ready while the drive starts programming: on to the wait.
    if (sense.senseKey == kSenseNoSense || sense.senseKey == kSenseNotReady) {
        return true;
    }
    window_.AddLogLine(FormatFlashLine("Status:%x;SenseCode:%x : %x : %x;", trigger.status,
                                       sense.senseKey, sense.asc, sense.ascq));
    window_.CommandSenseReported(trigger.status, sense);
    window_.AddLogLine(kFlashFailSense);
    return false;
}

bool FlashDriver::CompletionWait(WindowEvents events, bool triggerConfirmed) {
    const std::uint32_t start = clock_.GetTickCount();
    // After a trigger the drive never answered, a drive that reports ready may simply never
    // have started: it counts as back only once it has been seen busy.
    bool seenBusy = triggerConfirmed;
    for (;;) {
        if (PollAnswersReady()) {
            if (seenBusy) {
                return true;
            }
        } else {
            seenBusy = true;
        }
        if (events == WindowEvents::Dispatch) {
            window_.DispatchPendingEvents();
        }
        if (!atapi_.LastOutcome().Answered()) {
            clock_.Sleep(kUnansweredPollPauseMs);
        }
        const std::uint32_t elapsedSeconds =
            (clock_.GetTickCount() - start) / kMillisecondsPerSecond;
        if (elapsedSeconds > kCompletionWaitSeconds) {
            return false;
        }
    }
}

bool FlashDriver::PollAnswersReady() {
    // A poll the platform only tolerated (it timed out or failed below SCSI) was never
    // answered by the drive, so it does not mean the drive is back.
    atapi_.TestUnitReady();
    const CommandOutcome& outcome = atapi_.LastOutcome();
    if (outcome.SucceededOnDrive()) {
        return true;
    }
    const SenseBytes& sense = outcome.sense;
    return sense.senseKey == kSenseNotReady && sense.asc == kAscMediumNotPresent;
}

bool FlashDriver::FinishWait(WindowEvents events, const TriggerResult& trigger) {
    if (CompletionWait(events, trigger.confirmed)) {
        atapi_.TestUnitReady();  // takes the drive's unit attention after its restart
        return true;
    }
    const SenseBytes sense = atapi_.LastOutcome().sense;
    if (atapi_.NtFlag()) {
        window_.AddLogLine(
            FormatFlashLine("Time Out Status:%x;Debug:Trigger_SenseCode:%x : %x : %x;",
                            trigger.status, sense.senseKey, sense.asc, sense.ascq));
    } else {
        window_.AddLogLine(FormatFlashLine(
            "Time Out Status:%x;Status:%x;Debug:Trigger_SenseCode:%x : %x : %x;",
            sense.targetStatus, trigger.status, sense.senseKey, sense.asc, sense.ascq));
    }
    window_.CommandSenseReported(trigger.status, sense);
    window_.AddLogLine(FormatFlashLine("Err:Flash error,time out %u Sec", kCompletionWaitSeconds));
    return false;
}

}  // namespace troz
