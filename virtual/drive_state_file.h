// Where the built-in virtual drives keep what they became: after a flash each drive's
// identification, revision and model code are written to a small JSON file under the
// user's state directory, so the next run shows the new revision. A missing file means
// factory state; so does a file that cannot be read as a small regular file, with a warning.
// Several processes may flash different virtual drives at once: each save reads the file,
// changes its own drive's entry and writes it back under a lock, so no update is lost.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "virtual/drive_config.h"

namespace troz {

// Drive key (the built-in drive's name) -> what it reports now.
using DriveStates = std::map<std::string, DriveIdentity>;

// $XDG_STATE_HOME/trozflash/virtual-drives.json, or ~/.local/state/trozflash/... when
// XDG_STATE_HOME is unset or not absolute (%LOCALAPPDATA%\trozflash\... without a HOME);
// none when there is no such directory to be had.
std::optional<std::filesystem::path> DriveStateFilePath();

// Where the virtual drives' writer locks are: a folder beside the state file's own
// ($XDG_STATE_HOME/trozflash-locks), so that deleting the state folder to get the factory
// drives back does not let a second copy write a drive that is being written.
std::filesystem::path DriveLockFolder(const std::filesystem::path& stateFile);

// The largest state file that is read; three drives take a few hundred bytes.
constexpr std::size_t kLargestStateFile = 64 * 1024;

// The states in the file; entries that are not well formed are left out. A file that
// cannot be read (not a regular file, too large, unreadable) or parsed gives none at all
// and one line in warning naming the file and why; a missing file gives none silently.
DriveStates LoadDriveStates(const std::filesystem::path& file, std::string& warning);

// LoadDriveStates under the lock that SaveDriveState takes: a save never replaces the file
// while it is read (which Windows refuses while the file is open).
DriveStates ReadDriveStates(const std::filesystem::path& file, std::string& warning);

// Writes the states (creating the directory), replacing the file as a whole. False, with
// one line in error naming the file and why, when that fails.
bool SaveDriveStates(const std::filesystem::path& file, const DriveStates& states,
                     std::string& error);

// Sets one drive's entry (removes it when identity is none) and keeps every other entry as
// the file holds it now: the read, the change and the write happen under an exclusive lock
// on the file beside it (<file>.lock), which every process of the tool takes.
bool SaveDriveState(const std::filesystem::path& file, const std::string& key,
                    const std::optional<DriveIdentity>& identity, std::string& error);

}  // namespace troz
