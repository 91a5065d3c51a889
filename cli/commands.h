// The subcommands of trozflash-cli. Each file cli/command_*.cpp adds one or more.
#pragma once

#include <CLI/CLI.hpp>

namespace troz::cli {

// Each registration adds its subcommand to the application. The callback it installs
// stores the exit status of the run in exitStatus.
void RegisterListCommand(CLI::App& app, int& exitStatus);
void RegisterPackageCommands(CLI::App& app, int& exitStatus);  // inspect, verify, pack
void RegisterFlashCommand(CLI::App& app, int& exitStatus);
void RegisterProbeCommand(CLI::App& app, int& exitStatus);
void RegisterHistoryCommand(CLI::App& app, int& exitStatus);

}  // namespace troz::cli
