#include "update/flash_driver.h"

#include <cstdarg>
#include <cstdio>

#include "update/validate_package.h"

namespace troz {

namespace {

constexpr std::size_t kVendorQueryBufferLength = 20;
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
    if (DirectDownload()) {
        return true;
    }
    if (packageChanged_) {
        return false;
    }
    // Whatever made the direct procedure fail, a drive that says it takes WRITE BUFFER
    // downloads gets the buffered procedure.
    if (QueryVendorFlag() == 0) {
        window_.AddLogLine(kRefusalNoBufferedDownload);
        return false;
    }
    if (BufferedDownload()) {
        return true;
    }
    // A changed package has said so in its own line; the drive did not fail.
    if (!packageChanged_) {
        window_.AddLogLine(kFlashFailBoth);
    }
    return false;
}

std::uint8_t FlashDriver::QueryVendorFlag() {
    std::uint8_t reply[kVendorQueryBufferLength] = {};
    if (atapi_.VendorQuery(reply) == kCommandSuccess) {
        return reply[0];
    }
    if (atapi_.VendorQuery(reply) == kCommandSuccess) {
        return reply[0];
    }
    return 0;
}

bool FlashDriver::OpenPickedImage(OpenImage& image) {
    image.buffer = AllocateWorkingBuffer();
    if (!image.buffer) {
        window_.AddLogLine(kMemoryAllocation);
        return false;
    }
    const std::int32_t imageIndex = header_.IsMultiImage() ? state_.imageIndex : 0;
    // Tables and buffers are only ever read within their bounds, even for a package that
    // changed on disk after it was validated.
    if (const auto refusal = PackageRefusal(header_, imageIndex)) {
        window_.AddLogLine(*refusal);
        return false;
    }
    if (!package_.IsOpen()) {
        window_.AddLogLine(kOpenFirmwareFileError);
        return false;
    }
    if (!package_.Unchanged()) {
        ReportPackageChanged();
        return false;
    }
    if (!package_.stream->Seek(ImagePosition(header_, imageIndex))) {
        window_.AddLogLine(kReadFirmwareFileError);
        return false;
    }
    return true;
}

void FlashDriver::ReportPackageChanged() {
    packageChanged_ = true;
    window_.AddLogLine(kPackageChanged);
}

bool FlashDriver::SentWhatWasChecked(const OpenImage& image) {
    if (image.sentSum == package_.sum && package_.Unchanged()) {
        return true;
    }
    ReportPackageChanged();
    return false;
}

bool FlashDriver::ReadBlock(OpenImage& image, int blockNumber, std::uint32_t bufferOffset) {
    const std::uint16_t blockSize = header_.BlockSize(blockNumber);
    if (blockSize > kWorkingBufferSize - bufferOffset) {
        window_.AddLogLine(kRefusalBlockSize);
        return false;
    }
    std::uint8_t* block = image.buffer.get() + bufferOffset;
    if (package_.stream->Read(block, blockSize) != blockSize) {
        if (package_.Unchanged()) {
            window_.AddLogLine(kReadFirmwareFileError);
        } else {
            ReportPackageChanged();
        }
        return false;
    }
    if (header_.IsScrambled()) {
        Descramble(block, blockSize);
    }
    // A block rewritten since the check never goes out, even when its sum stayed the same.
    if (blockNumber >= kBlockSizeTableEntries ||
        BlockDigest(block, blockSize) !=
            package_.blockDigests[static_cast<std::size_t>(blockNumber)]) {
        ReportPackageChanged();
        return false;
    }
    image.sentSum = static_cast<std::uint16_t>(image.sentSum + SumBytes(block, blockSize));
    return true;
}

void FlashDriver::ReportCommandFailure(std::uint8_t status) {
    window_.AddLogLine(FormatFlashLine("Status:0x%x ; Err:Flash command(W) has problems.", status));
}

std::uint8_t FlashDriver::TriggerCode(std::uint8_t base) const {
    return static_cast<std::uint8_t>(base + header_.BlockCount());
}

std::uint8_t FlashDriver::SendTrigger(std::uint8_t functionCode, std::uint8_t triggerCode) {
    MarkDriveBeingWritten();
    const std::int32_t imageIndex = header_.IsMultiImage() ? state_.imageIndex : 0;
    triggerStatus_ = atapi_.VendorDownload(nullptr, functionCode, triggerCode, 0,
                                           ExpectedChecksum(header_, imageIndex));
    const SenseBytes sense = atapi_.LastOutcome().sense;
    triggerConfirmed_ =
        atapi_.LastOutcome().SucceededOnDrive() ||
        (sense.targetStatus == kScsiStatusCheckCondition && sense.senseKey == kSenseNotReady);
    return triggerStatus_;
}

bool FlashDriver::SenseAllowsWait(const SenseBytes& sense) {
    // No sense, or not ready while the drive starts programming: on to the wait.
    if (sense.senseKey == kSenseNoSense || sense.senseKey == kSenseNotReady) {
        return true;
    }
    window_.AddLogLine(FormatFlashLine("Status:%x;SenseCode:%x : %x : %x;", triggerStatus_,
                                       sense.senseKey, sense.asc, sense.ascq));
    window_.CommandSenseReported(triggerStatus_, sense);
    window_.AddLogLine(kFlashFailSense);
    return false;
}

FlashDriver::WaitOutcome FlashDriver::CompletionWait(WindowEvents events) {
    const std::uint32_t start = clock_.GetTickCount();
    // After a trigger the drive never answered, a drive that reports ready may simply never
    // have started: it counts as back only once it has been seen busy.
    bool seenBusy = triggerConfirmed_;
    for (;;) {
        if (PollAnswersReady()) {
            if (seenBusy) {
                return WaitOutcome::CameBack;
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
            return WaitOutcome::TimedOut;
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

bool FlashDriver::FinishWait(WindowEvents events) {
    if (CompletionWait(events) == WaitOutcome::CameBack) {
        atapi_.TestUnitReady();  // takes the drive's unit attention after its restart
        return true;
    }
    const SenseBytes sense = atapi_.LastOutcome().sense;
    if (atapi_.NtFlag()) {
        window_.AddLogLine(
            FormatFlashLine("Time Out Status:%x;Debug:Trigger_SenseCode:%x : %x : %x;",
                            triggerStatus_, sense.senseKey, sense.asc, sense.ascq));
    } else {
        window_.AddLogLine(FormatFlashLine(
            "Time Out Status:%x;Status:%x;Debug:Trigger_SenseCode:%x : %x : %x;",
            sense.targetStatus, triggerStatus_, sense.senseKey, sense.asc, sense.ascq));
    }
    window_.CommandSenseReported(triggerStatus_, sense);
    window_.AddLogLine(FormatFlashLine("Err:Flash error,time out %u Sec", kCompletionWaitSeconds));
    return false;
}

}  // namespace troz
