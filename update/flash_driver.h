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
    // How a step (or a whole procedure) ended. A changed package has said so in its own line,
    // and no procedure may go on with it.
    enum class Step { Done, Failed, PackageChanged };
    // What the trigger step did: the last trigger's status, the sense the procedure judges
    // the trigger by, and whether the drive itself answered the last trigger (GOOD, or NOT
    // READY because it is already programming). A trigger that only the transport answered
    // (time-out, I/O error, a status without sense) may never have reached the drive.
    struct TriggerResult {
        std::uint8_t status = 0;
        SenseBytes sense;
        bool confirmed = false;
        // The first trigger was refused and sent again: the drive gets a pause before the wait.
        bool resent = false;
    };
    // Whether the completion wait lets the window handle its pending events between polls:
    // the direct procedure does, the buffered one polls without them.
    enum class WindowEvents { Dispatch, Hold };
    // What sets the two procedures apart; the skeleton they share is RunProcedure.
    struct Procedure {
        std::uint32_t pauseBeforeBlocksMs;
        Step (FlashDriver::*sendBlocks)(OpenImage& image);
        TriggerResult (FlashDriver::*sendTrigger)();
        // On the NT family this pause before the wait takes the place of the resend's (0: none).
        std::uint32_t ntPauseBeforeWaitMs;
        WindowEvents events;
    };
    static const Procedure kDirectProcedure;
    static const Procedure kBufferedProcedure;

    bool RunProcedures();
    // Pause, blocks, the check of what was sent, trigger, wait.
    Step RunProcedure(const Procedure& procedure);
    // Called before each command that carries firmware or starts the programming.
    void MarkDriveBeingWritten();
    Step OpenPickedImage(OpenImage& image);
    Step ReadBlock(OpenImage& image, int blockNumber, std::uint32_t bufferOffset);
    // Before the trigger: every block sent was the block checked, and the file is still the
    // one that was checked. Otherwise says so, and the update ends without a trigger.
    Step SentWhatWasChecked(const OpenImage& image);
    Step ReportPackageChanged();
    Step SendDirectBlocks(OpenImage& image);
    Step SendBufferedBlocks(OpenImage& image);
    bool SendTransferImage(const std::uint8_t* transferImage, std::uint8_t blockNumber,
                           std::uint32_t length);
    TriggerResult SendDirectTrigger();
    TriggerResult SendBufferedTrigger();
    bool SenseAllowsWait(const TriggerResult& trigger);
    // True once the drive has come back, false after the time-out.
    bool CompletionWait(WindowEvents events, bool triggerConfirmed);
    bool PollAnswersReady();
    bool FinishWait(WindowEvents events, const TriggerResult& trigger);
    void ReportBlockFailure(int blockNumber, std::uint8_t status);
    TriggerResult SendTrigger(std::uint8_t functionCode, std::uint8_t triggerCode);
    std::uint8_t TriggerCode(std::uint8_t base) const;

    TAtapi& atapi_;
    UpdateWindow& window_;
    Clock& clock_;
    CheckedPackage& package_;
    const PackageHeader& header_;
    const PackageState& state_;
    bool driveBeingWritten_ = false;
};

// ILLEGAL REQUEST, parameter list length error (5/1A/00): the drive wants the other trigger.
bool IsParameterListLengthError(const SenseBytes& sense);

// A log line from a printf format ("%x" of each value: lower-case hexadecimal without
// leading zeros). The compiler checks every format against its values.
std::string FormatFlashLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace troz
