// Placeholder until the subcommand exists.
#include "cli/commands.h"

namespace troz::cli {

void RegisterFlashCommand(CLI::App& /*app*/, int& /*exitStatus*/) {}

}  // namespace troz::cli
