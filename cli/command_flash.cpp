// trozflash-cli flash: the Open step and Start of the window, on a terminal.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/drive_session.h"
#include "cli/exit_status.h"
#include "cli/flash_plan.h"
#include "cli/interrupt_guard.h"
#include "cli/interrupted_flashes.h"
#include "cli/terminal_window.h"
#include "os/shutdown_inhibitor.h"
#include "os/termination_signals.h"
#include "os/user_files.h"
#include "session/update_session.h"

namespace troz::cli {

namespace {

struct FlashOptions {
    std::string file;
    std::string drive;  // empty: the one drive there is
    bool noRestart = false;
    FlashChoices choices;
};

int RunFlash(const FlashOptions& options) {
    // A reader of the log that went away must not make the flash fail: writes to it fail
    // quietly instead.
    IgnoreBrokenPipe();
    // Before anything else: a drive an earlier flash left half-written.
    const nlohmann::json interrupted = WarnOfInterruptedFlashes();
    const bool json = options.choices.json;
    // A run that ends before a drive is chosen: its line, and with --json its record.
    const auto endEarly = [&](int status, const std::string& error) {
        std::fprintf(stderr, "%s\n", error.c_str());
        if (json) {
            std::printf("%s\n", EarlyFlashJson(options.file, status, error, interrupted)
                                    .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                                    .c_str());
        }
        return status;
    };
    DriveSession drives;
    std::string error;
    if (!drives.Open(error)) {
        return endEarly(kExitUsage, error);
    }
    TAtapi& atapi = drives.Atapi();
    std::string driveText = options.drive;
    if (driveText.empty()) {
        // Which drive is not guessed when there is a choice.
        if (atapi.DriveCount() > 1) {
            std::string listing = "trozflash-cli: " + std::to_string(atapi.DriveCount()) +
                                  " drives are listed; say which one with --drive N|NODE:";
            for (int i = 0; i < atapi.DriveCount(); ++i) {
                listing += "\n  " + std::to_string(i) + "  " +
                           PrintableName(DriveItemText(atapi.Entry(i))) + "  (" +
                           PrintableName(atapi.Location(i)) + ")";
            }
            return endEarly(kExitUsage, listing);
        }
        driveText = "0";
    }
    int drive = 0;
    if (!drives.FindDrive(driveText, drive, error)) {
        return endEarly(kExitUsage, error);
    }
    atapi.SelectDevice(drive);
    // With --json the log's lines join the other notes on standard error.
    const bool terminal = !json && isatty(fileno(stdout)) != 0;
    TerminalWindow window(atapi, options.file, drive, json ? stderr : stdout, stdin, terminal);
    const FlashStreams streams{stdin, isatty(fileno(stdin)) != 0, stdout, stderr};
    const DeviceEntry& entry = atapi.Entry(drive);
    FlashReport report(
        window, streams,
        {drive, DriveItemText(entry), atapi.Location(drive), entry.revision, options.file, ""});
    report.record.interruptedFlashes = interrupted;
    report.record.identification = entry.identification;
    const std::unique_ptr<ShutdownInhibitor> inhibitor = MakeSystemShutdownInhibitor();
    SessionSettings settings;
    settings.signalNotices = kSignalNotices;
    settings.askRestart = !options.noRestart;
    std::optional<history::FlashHistory> flashes;
    if (const auto folder = history::FlashHistory::DefaultFolder()) {
        flashes.emplace(*folder);
        settings.history = &*flashes;
        settings.frontEnd = "cli";
    }
    UpdateSession session(atapi, window, drives.GetClock(), drives.Services(), *inhibitor, report,
                          settings);
    // Before the drive gets its first command: another copy may be writing into it.
    if (!session.TakeWriterLock(drive)) {
        if (json) {
            report.record.error = report.lastNotice;
            nlohmann::json record = FlashJson(report.record);
            record["exit_status"] = kExitFailed;
            record["exit_meaning"] = ExitMeaning(kExitFailed);
            std::printf(
                "%s\n",
                record.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        }
        return kExitFailed;
    }
    // Writing the same package again is what a flash cut short asks for: no reinstall refusal.
    FlashChoices choices = options.choices;
    for (const nlohmann::json& warning : interrupted) {
        if (warning["drive"]["device_node"] == atapi.Location(drive)) {
            choices.allowReinstall = true;
        }
    }
    const int status = RunPlannedUpdate(session, report, window, choices, streams);
    // What the signal that waited for the drive would have ended the program with.
    if (session.HeldSignal() != 0) {
        return ExitStatusOfSignal(session.HeldSignal());
    }
    return status;
}

}  // namespace

void RegisterFlashCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<FlashOptions>();
    CLI::App* flash = app.add_subcommand(
        "flash",
        "Open a firmware package and write it into a drive, as Open and Start in the window do.\n"
        "First names the drive, its revision, the package and its target on standard error and\n"
        "asks \"Write this firmware? [y/N]\" on the terminal; afterwards says which revision the\n"
        "drive now reports. The update's log lines go to standard output. The file the plan\n"
        "names is the file written: another put under its name meanwhile is refused.\n"
        "Exit status 0 only after \"Ok:Flash Complete!!\" with the drive reporting the image's\n"
        "revision (or, with --dry-run, when the package would be written); 1 when refused,\n"
        "declined or failed; 2 when it cannot run (no such drive, no terminal to ask and no\n"
        "--yes).");
    flash->add_option("FILE", options->file, "The firmware package (.tfs)")->required();
    flash->add_option("--drive", options->drive,
                      "The drive: its index in trozflash-cli list, or its device node "
                      "(/dev/sr0, /dev/sg1); needed when there is more than one drive");
    flash->add_flag("--yes,-y", options->choices.assumeYes,
                    "Write without asking (for scripts; needed when standard input is no "
                    "terminal)");
    flash->add_flag("--dry-run", options->choices.dryRun,
                    "Run every check Start runs, sending the drive INQUIRY only; write nothing");
    flash->add_flag("--json", options->choices.json,
                    "Print one JSON object (outcome, log lines, revisions before and after) on "
                    "standard output; the log's lines go to standard error");
    flash->add_flag("--allow-reinstall", options->choices.allowReinstall,
                    "Write a package whose revision the drive already has");
    flash->add_flag("--allow-older", options->choices.allowOlder,
                    "Write a package older than the drive's firmware");
    flash->add_flag("--no-restart", options->noRestart,
                    "Answer the restart question with no, without asking (for scripts)");
    flash->callback([options, &exitStatus] { exitStatus = RunFlash(*options); });
}

}  // namespace troz::cli
