// trozflash-cli: the drive and update code of the window, on a terminal.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "os/standard_streams.h"
#include "troz_version.h"

int main(int argc, char** argv) {
    // First of all: no file of the tool may take the place of a closed standard stream.
    if (!troz::EnsureStandardStreams()) {
        return troz::cli::kExitFailed;
    }
    CLI::App app{
        "trozflash-cli: firmware updates for optical drives (CD-ROM, CD-RW, DVD).\n"
        "Drives come from the system unless TROZFLASH_DRIVES says otherwise:\n"
        "  TROZFLASH_DRIVES=virtual       the built-in virtual drives (pass-through transport)\n"
        "  TROZFLASH_DRIVES=virtual-aspi  the same drives behind the virtual ASPI manager\n"
        "Exit status: 0 done; 1 refused or failed (a refused package, a declined or failed\n"
        "flash, an inspected package the tool would refuse); 2 usage errors (unknown options,\n"
        "missing arguments, no such drive, no terminal to ask and no --yes)."};
    app.set_version_flag("--version", std::string("trozflash-cli ") + troz::kTrozFlashVersion,
                         "Print the version and exit");
    app.require_subcommand(1);
    int exitStatus = troz::cli::kExitOk;
    troz::cli::RegisterListCommand(app, exitStatus);
    troz::cli::RegisterPackageCommands(app, exitStatus);
    troz::cli::RegisterFlashCommand(app, exitStatus);
    troz::cli::RegisterProbeCommand(app, exitStatus);
    troz::cli::RegisterHistoryCommand(app, exitStatus);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // CLI11's own codes (104 conversion, 106 required, 109 extras, ...) are all one thing
        // to a caller: the command line was wrong. --help and --version end with 0.
        return app.exit(error) == troz::cli::kExitOk ? troz::cli::kExitOk : troz::cli::kExitUsage;
    }
    return exitStatus;
}
