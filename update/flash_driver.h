// The flash driver: writes the picked image of the validated package into the selected drive
// and waits until the drive has programmed itself. The direct procedure sends each block in
// one vendor download command; the buffered one sends each block with its two length bytes
// in WRITE BUFFER pieces. Both end with a trigger and the completion wait.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "drive/atapi.h"
#include "drive/clock.h"
#include "update/checked_package.h"
#include "update/package_format.h"
#include "update/package_state.h"
#include "update/package_stream.h"
#include "update/update_window.h"

namespace troz {

// Pauses, in milliseconds.
constexpr std::uint32_t kDirectPauseBeforeBlocksMs = 2000;
constexpr std::uint32_t kBufferedPauseBeforeBlocksMs = 500;
constexpr std::uint32_t kPauseAfterResendMs = 20000;
constexpr std::uint32_t kBufferedNtPauseBeforeWaitMs = 3000;
// The completion wait gives up once more than this many whole seconds have passed.
constexpr std::uint32_t kCompletionWaitSeconds = 120;
// The buffered procedure sends a transfer image in WRITE BUFFER pieces of at most this size.
constexpr std::uint32_t kWriteBufferPieceSize = 16384;

// Trigger codes: the block count is added to them.
constexpr std::uint8_t kTriggerCodeE0 = 0xE0;
constexpr std::uint8_t kTriggerCodeF0 = 0xF0;
constexpr int kProgressTrigger = 70;
constexpr int kProgressTriggered = 80;

constexpr const char* kFlashingLine = "Flashing ..";
constexpr const char* kRefusalNoBufferedDownload =
    "Err:The firmware is not support this device!!(7)";
constexpr const char* kFlashFailBoth = "Err:Flash Fail!!";
constexpr const char* kFlashFailSense = "Err:Flash Fail.";
// A package that was readable at Start but no longer is when a procedure reads it again.
constexpr const char* kReadFirmwareFileError = "Err:Read Firmware file Error!!";

class FlashDriver {
public:
    // headerCopy is the header ValidatePackage has just read into package, which it left
    // open: the blocks sent are read from there.
    FlashDriver(TAtapi& atapi, UpdateWindow& window, Clock& clock, CheckedPackage& package,
                const PackageHeader& headerCopy, const PackageState& state);

    bool FlashFirmware();
    bool DirectDownload();
    bool BufferedDownload();
    std::uint8_t QueryVendorFlag();

private:
    // What a procedure holds while it runs: the block buffer and the sum of the blocks it
    // has read to send.
    struct OpenImage {
        std::unique_ptr<std::uint8_t[]> buffer;
        std::uint16_t sentSum = 0;
    };
    enum class WaitOutcome { CameBack, TimedOut };
    // Whether the completion wait lets the window handle its pending events between polls:
    // the direct procedure does, the buffered one polls without them.
    enum class WindowEvents { Dispatch, Hold };

    bool RunProcedures();
    // Called before each command that carries firmware or starts the programming.
    void MarkDriveBeingWritten();
    bool OpenPickedImage(OpenImage& image);
    bool ReadBlock(OpenImage& image, int blockNumber, std::uint32_t bufferOffset);
    // Before the trigger: every block sent was the block checked, and the file is still the
    // one that was checked. Otherwise says so, and the update ends without a trigger.
    bool SentWhatWasChecked(const OpenImage& image);
    void ReportPackageChanged();
    bool SendDirectBlocks(OpenImage& image);
    bool SendBufferedBlocks(OpenImage& image);
    bool SendTransferImage(const std::uint8_t* transferImage, std::uint8_t blockNumber,
                           std::uint32_t length);
    void SendDirectTrigger();
    SenseBytes SendBufferedTrigger();
    bool SenseAllowsWait(const SenseBytes& sense);
    WaitOutcome CompletionWait(WindowEvents events);
    bool PollAnswersReady();
    bool FinishWait(WindowEvents events);
    void ReportCommandFailure(std::uint8_t status);
    std::uint8_t SendTrigger(std::uint8_t functionCode, std::uint8_t triggerCode);
    std::uint8_t TriggerCode(std::uint8_t base) const;

    TAtapi& atapi_;
    UpdateWindow& window_;
    Clock& clock_;
    CheckedPackage& package_;
    const PackageHeader& header_;
    const PackageState& state_;
    std::uint8_t triggerStatus_ = 0;
    // The drive answered the last trigger itself: GOOD, or NOT READY because it is already
    // programming. A trigger that only the transport answered (time-out, I/O error, a status
    // without sense) may never have reached the drive.
    bool triggerConfirmed_ = false;
    bool retried_ = false;
    bool driveBeingWritten_ = false;
    // The package is no longer what was checked: no procedure may go on with it.
    bool packageChanged_ = false;
};

// ILLEGAL REQUEST, parameter list length error (5/1A/00): the drive wants the other trigger.
bool IsParameterListLengthError(const SenseBytes& sense);

// A log line from a printf format ("%x" of each value: lower-case hexadecimal without
// leading zeros). The compiler checks every format against its values.
std::string FormatFlashLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace troz
