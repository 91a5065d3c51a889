// trozflash-cli: the drive and update code of the window, on a terminal.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "troz_version.h"
#include "cli/exit_status.h"

int main(int argc, char** argv) {
    CLI::App app{
        "trozflash-cli: firmware updates for optical drives (CD-ROM, CD-RW, DVD).\n"
        "Drives come from the system unless TROZFLASH_DRIVES says otherwise:\n"
        "  TROZFLASH_DRIVES=virtual       the built-in virtual drives (pass-through transport)\n"
        "  TROZFLASH_DRIVES=virtual-aspi  the same drives behind the virtual ASPI manager"};
    app.set_version_flag("--version", std::string("trozflash-cli ") + troz::kTrozFlashVersion,
                         "Print the version and exit");
    app.require_subcommand(1);
    int exitStatus = troz::cli::kExitOk;
    troz::cli::RegisterListCommand(app, exitStatus);
    troz::cli::RegisterPackageCommands(app, exitStatus);
    troz::cli::RegisterFlashCommand(app, exitStatus);
    troz::cli::RegisterProbeCommand(app, exitStatus);
    CLI11_PARSE(app, argc, argv);
    return exitStatus;
}
