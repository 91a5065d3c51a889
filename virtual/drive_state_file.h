// Where the built-in virtual drives keep what they became: after a flash each drive's
// identification, revision and model code are written to a small JSON file under the
// user's state directory, so the next run shows the new revision. A missing or broken file
// means factory state.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "virtual/drive_config.h"

namespace troz {

// Drive key (the built-in drive's name) -> what it reports now.
using DriveStates = std::map<std::string, DriveIdentity>;

// $XDG_STATE_HOME/trozflash/virtual-drives.json, or ~/.local/state/trozflash/... when
// XDG_STATE_HOME is unset or not absolute (%LOCALAPPDATA%\trozflash\... without a HOME);
// none when there is no such directory to be had.
std::optional<std::filesystem::path> DriveStateFilePath();

// The states in the file; entries that are not well formed are left out, and a file that
// cannot be read or parsed gives none at all.
DriveStates LoadDriveStates(const std::filesystem::path& file);
// Writes the states (creating the directory); false when that fails.
bool SaveDriveStates(const std::filesystem::path& file, const DriveStates& states);

}  // namespace troz
