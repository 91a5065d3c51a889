// One user's update, from the Open step to the restart question, for every front end (the Qt
// window, trozflash-cli, the Win32 window). The session owns what must not drift between
// them: the package held open from the Open step on, the chosen image, the plan, the drive's
// writer lock, the write span with its held signals, the shutdown inhibitor, and the restart
// decision. A front end only shows what the session reports and asks what it is asked:
//
//   - It implements UpdateWindow (update/update_window.h): the log, the progress bar, the
//     enabling of its controls, the open dialog, the selected drive, the restart question.
//     The session passes every call through, except the write span, which it keeps itself.
//   - It implements SessionObserver for the typed events below, never parsing log lines.
//   - It calls Open() for the Open button, Start() for the Start button (Check() for a dry
//     run), asks MayClose() before closing, and ends the program with
//     ExitStatusOfSignal(HeldSignal()) when a signal waited for the drive.
//
// Order of one successful Start, as a front end sees it:
//   lock taken (or one Notice line and nothing is sent) -> inhibitor taken (a Notice when it
//   cannot be; it may take the login manager a few seconds) -> the log's lines ->
//   WriteSpanChanged(true) at the first firmware command -> inhibitor given back and
//   WriteSpanChanged(false) when the completion wait ends (SignalHeld if one waited) ->
//   "Ok:Flash Complete!!" -> UpdateFinished (the revision the drive reports now) -> the
//   restart question (or RestartNotAsked) -> the lock released (unless TakeWriterLock took
//   it before Start).
// A Start that fails or is refused ends with UpdateFinished(NotWritten).
//
// Everything runs on the caller's thread. The session is free of any toolkit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drive/atapi.h"
#include "drive/clock.h"
#include "drive/system_services.h"
#include "history/flash_history.h"
#include "history/sha256.h"
#include "os/drive_lock.h"
#include "os/drive_write_span.h"
#include "os/shutdown_inhibitor.h"
#include "os/termination_signals.h"
#include "update/update_window.h"
#include "update/update_workflow.h"

namespace troz {

// What Start is about to do, reported once the Open step has chosen an image.
struct UpdatePlan {
    int driveIndex = -1;
    std::string driveText;      // the drive list's item text (identification and revision)
    std::string location;       // device node, or the ASPI address
    std::string revision;       // what the drive reports now (INQUIRY when the plan is made)
    std::string packagePath;    // the package file as given
    std::string targetProduct;  // of the chosen image: 24 characters of identification, then
                                // the revision the image brings
};

// The sense of a command that failed the update, as the transport received it.
struct CommandSense {
    std::uint8_t status = 0;  // the command's status byte
    std::uint8_t senseKey = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
};

enum class UpdateOutcome {
    Written,     // "Ok:Flash Complete!!"
    WouldWrite,  // a check-only run passed every check
    NotWritten,  // refused or failed; the log (or a Notice) said why
};

struct UpdateResult {
    UpdateOutcome outcome = UpdateOutcome::NotWritten;
    // Written only: the revision the drive reports after the update; nothing when it did
    // not answer INQUIRY.
    std::optional<std::string> revisionAfter;
    // The revision the chosen image names (the plan's target product after its
    // identification), blanks trimmed.
    std::string targetRevision;
    // Written, and the drive now reports the image's revision.
    bool RevisionAsTargeted() const;
};

class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    // The Open step chose an image: what Start would write, into which drive.
    virtual void PlanReady(const UpdatePlan& /*plan*/) {}
    // A command of the flash failed with this sense; the log has its own line for it.
    virtual void CommandFailed(const CommandSense& /*sense*/) {}
    // The command that carried firmware block blockNumber (0 for the first) failed with
    // status; the log's line for it does not name the block.
    virtual void BlockFailed(int /*blockNumber*/, std::uint8_t /*status*/) {}
    // The drive is being written (true) / no longer (false). While open, the ending signals
    // are held and the window must not close.
    virtual void WriteSpanChanged(bool /*open*/) {}
    // A SIGTERM, SIGHUP or SIGQUIT waited for the write span; the program should end with
    // ExitStatusOfSignal(signalNumber) once Start returns.
    virtual void SignalHeld(int /*signalNumber*/) {}
    // Start ended (before the restart question when the firmware was written).
    virtual void UpdateFinished(const UpdateResult& /*result*/) {}
    // One line that is not part of the update's log: a refused lock, a missing inhibitor.
    virtual void Notice(const std::string& /*line*/) {}
    // The restart question was answered no without asking (a signal waited, or the front
    // end said not to ask).
    virtual void RestartNotAsked() {}
};

struct SessionSettings {
    // What a signal held during the write span prints (refused for Ctrl+C, delayed else).
    HeldSignalNotices signalNotices{};
    // Gets one byte per held signal (a window's self-pipe); -1: none.
    int wakeDescriptor = -1;
    // false answers the restart question with no, without asking.
    bool askRestart = true;
    // Where every flash is recorded, from just before its first firmware command to its end;
    // none: not recorded. frontEnd names the front end there ("window", "cli").
    history::FlashHistory* history = nullptr;
    std::string frontEnd{};
};

constexpr const char* kNoInhibitorPrefix =
    "Shutdown and sleep are not held off while the drive is written: ";

class UpdateSession {
public:
    UpdateSession(TAtapi& atapi, UpdateWindow& window, Clock& clock, SystemServices& services,
                  ShutdownInhibitor& inhibitor, SessionObserver& observer,
                  SessionSettings settings);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // Makes this process the only writer of drive index before it gets any command. Start
    // does it itself; a front end that talks to the drive before Start (the command line
    // reads its revision for the plan) takes it first. False, with one Notice line, when
    // the lock is held by another copy or cannot be made: nothing may be sent then.
    bool TakeWriterLock(int driveIndex);

    // The Open button: the open dialog, the scan for the image that fits, and PlanReady.
    void Open();
    // The Start button. True when the firmware was written.
    bool Start();
    // Every check of Start with the same lines; the drive hears INQUIRY only. True when
    // Start would write.
    bool Check();

    // From the press of Start until the drive is done (the restart question does not count):
    // the window must not close, and a logout should be refused.
    bool Programming() const;
    bool MayClose() const { return !Programming(); }
    // The signal that waited for the last write span, 0 when none did.
    int HeldSignal() const { return span_.HeldSignal(); }
    // The plan of the last Open step that chose an image; null before one did.
    const UpdatePlan* Plan() const { return plan_ ? &*plan_ : nullptr; }
    bool ImageChosen() const { return workflow_.ImageChosen(); }

private:
    class Relay;

    void MakePlan();
    std::optional<std::string> ReadRevision(int driveIndex);
    std::string TargetRevision() const;
    void TakeInhibitor(int driveIndex);
    void ReleaseInhibitor();
    void ReleaseWriterLock();
    // The flash driver's side of the write span.
    void SetDriveBeingWritten(bool writing);
    // Right after "Ok:Flash Complete!!": the revision now, then the restart decision.
    bool AfterFlashComplete();
    // The history's record of the flash: begun at the first firmware command, completed
    // when the update ends (before the restart question, which may never return).
    void BeginRecord();
    void CompleteRecord(bool written, const std::optional<std::string>& revisionAfter);

    TAtapi& atapi_;
    UpdateWindow& window_;
    ShutdownInhibitor& inhibitor_;
    SessionObserver& observer_;
    SessionSettings settings_;
    std::unique_ptr<Relay> relay_;
    UpdateWorkflow workflow_;
    DriveWriteSpan span_;
    std::optional<UpdatePlan> plan_;
    DriveLockResult lock_;
    int lockedDrive_ = -1;
    bool inhibitorHeld_ = false;
    bool inhibitorMissingNoted_ = false;
    bool startRunning_ = false;
    bool finishReported_ = false;
    // The package's size and digest as the Open step found it; the log of the Start running.
    std::optional<history::FileDigest> packageDigest_;
    std::vector<std::string> log_;
    std::unique_ptr<history::OpenFlash> record_;
};

}  // namespace troz
