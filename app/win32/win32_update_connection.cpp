#include "app/win32/win32_update_connection.h"

#include <cstdint>

#include "app/win32/close_notice.h"
#include "app/window_texts.h"
#include "drive/drive_lock.h"
#include "drive/drive_write_span.h"

namespace troz::win32 {

namespace {

constexpr HeldSignalNotices kWindowSignalNotices = {kCloseWhileProgramming, kEndAfterProgramming};

struct ConnectionState {
    explicit ConnectionState(std::unique_ptr<ShutdownInhibitor> taken)
        : inhibitor(std::move(taken)), span(*inhibitor, kWindowSignalNotices, nullptr) {}

    // Set for the whole Start handler: should the workflow's own mark be left standing by a
    // failure that escaped it, the window can still be closed once the handler is gone.
    bool startHandlerRunning = false;
    CloseNotice closeNotice;
    std::unique_ptr<ShutdownInhibitor> inhibitor;
    DriveWriteSpan span;
};

}  // namespace

void ConnectUpdateWorkflow(TForm1& form, UpdateWorkflow& workflow, TAtapi& atapi,
                           std::unique_ptr<ShutdownInhibitor> inhibitor) {
    if (!inhibitor) {
        // The window's handle lets a shutdown show why it waits.
        inhibitor = MakeSystemShutdownInhibitor(reinterpret_cast<std::intptr_t>(form.Handle()));
    }
    auto state = std::make_shared<ConnectionState>(std::move(inhibitor));
    form.SetWriteHandler([&form, &atapi, state](bool writing) {
        if (!writing) {
            state->span.End();
            return;
        }
        const int index = form.SelectedDriveIndex();
        state->span.Begin(WrittenDriveName(form.SelectedDriveText(), atapi.Location(index)));
    });
    form.SetOpenHandler([&workflow] { workflow.OpenPackage(); });
    form.SetStartHandler([&form, &workflow, &atapi, state] {
        struct RunningMark {
            explicit RunningMark(bool& flag) : flag_(flag) { flag_ = true; }
            ~RunningMark() { flag_ = false; }
            bool& flag_;
        } mark(state->startHandlerRunning);
        // Before the drive gets its first command: another copy may be writing into it.
        const int drive = form.SelectedDriveIndex();
        const DriveLockResult lock = atapi.LockForWriting(drive);
        if (lock.outcome == DriveLockOutcome::HeldElsewhere) {
            form.AddLogLine(
                SecondWriterRefusal(drive, form.SelectedDriveText(), atapi.Location(drive)));
            return;
        }
        workflow.StartUpdate();
        // Its reason is gone with the update.
        state->closeNotice.Close();
    });
    const auto programming = [&workflow, state] {
        // Once the flash is complete only the restart question is left: the drive is done.
        return state->startHandlerRunning && workflow.UpdateRunning() &&
               !workflow.LastUpdateSucceeded();
    };
    const auto refuse = [&form, state, programming] {
        if (!programming()) {
            return true;
        }
        state->closeNotice.Show(form.Handle(), kCloseWhileProgramming);
        return false;
    };
    form.SetMayClose(refuse);
    // A logout or shutdown: answered no while the drive is being programmed; the shutdown
    // block reason the inhibitor set says why.
    form.SetMayEndSession(refuse);
}

}  // namespace troz::win32
