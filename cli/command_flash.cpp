// trozflash-cli flash: the Open step and Start of the window, on a terminal.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/drive_session.h"
#include "cli/exit_status.h"
#include "cli/interrupt_guard.h"
#include "cli/terminal_window.h"
#include "drive/drive_write_span.h"
#include "drive/shutdown_inhibitor.h"
#include "drive/termination_signals.h"
#include "update/update_workflow.h"

namespace troz::cli {

namespace {

struct FlashOptions {
    std::string file;
    int drive = 0;
    bool noRestart = false;
};

int RunFlash(const FlashOptions& options) {
    // A reader of the log that went away must not make the flash fail: writes to it fail
    // quietly instead.
    IgnoreBrokenPipe();
    DriveSession session;
    std::string error;
    if (!session.Open(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitUsage;
    }
    TAtapi& atapi = session.Atapi();
    if (options.drive < 0 || options.drive >= atapi.DriveCount()) {
        std::fprintf(stderr, "Err:There is no drive %d (%d found; see trozflash-cli list)\n",
                     options.drive, atapi.DriveCount());
        return kExitUsage;
    }
    // Before the drive gets its first command: another copy may be writing into it.
    const DriveLockResult lock = atapi.LockForWriting(options.drive);
    if (lock.outcome != DriveLockOutcome::Taken) {
        const std::string line =
            SecondWriterRefusal(options.drive, DriveItemText(atapi.Entry(options.drive)),
                                atapi.Location(options.drive));
        if (lock.outcome == DriveLockOutcome::HeldElsewhere) {
            std::fprintf(stderr, "%s\n", line.c_str());
            return kExitFailed;
        }
        std::fprintf(stderr, "Drive %d cannot be locked against other copies of TROZFlash (%s)\n",
                     options.drive, lock.reason.c_str());
    }
    atapi.SelectDevice(options.drive);
    const bool terminal = isatty(fileno(stdout)) != 0;
    TerminalWindow window(atapi, options.file, options.drive, !options.noRestart, stdout, stdin,
                          terminal);
    const std::unique_ptr<ShutdownInhibitor> inhibitor = MakeSystemShutdownInhibitor();
    DriveWriteSpan span(*inhibitor, kSignalNotices, stderr);
    window.GuardWrites(span);
    UpdateWorkflow workflow(atapi, window, session.GetClock(), session.Services());
    workflow.OpenPackage();
    workflow.StartUpdate();
    window.Finish();
    // What the signal that waited for the drive would have ended the program with.
    if (span.HeldSignal() != 0) {
        return ExitStatusOfSignal(span.HeldSignal());
    }
    return workflow.LastUpdateSucceeded() ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterFlashCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<FlashOptions>();
    CLI::App* flash = app.add_subcommand(
        "flash",
        "Open a firmware package and write it into a drive, as Open and Start in the window do.\n"
        "Exit status 0 only after \"Ok:Flash Complete!!\".");
    flash->add_option("FILE", options->file, "The firmware package (.tfs)")->required();
    flash->add_option("--drive", options->drive, "The drive's index in trozflash-cli list")
        ->capture_default_str();
    flash->add_flag("--no-restart", options->noRestart,
                    "Answer the restart question with no, without asking (for scripts)");
    flash->callback([options, &exitStatus] { exitStatus = RunFlash(*options); });
}

}  // namespace troz::cli
