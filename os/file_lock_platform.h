// What a file lock asks of the system it runs on, one implementation in each of linux/ and
// win32/. Only os/ includes this.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace troz::platform {

constexpr std::intptr_t kNoLockFile = -1;

// Opens (creating when missing) the lock file; kNoLockFile, with reason, when it cannot be
// or is not one to trust.
std::intptr_t OpenLockFile(const std::filesystem::path& path, std::string& reason);

enum class LockAttempt { Taken, Busy, Failed };
// One attempt at the exclusive lock, without waiting; Failed sets reason.
LockAttempt TryLockExclusive(std::intptr_t lockFile, std::string& reason);

// Gives the lock up (when taken) and closes the file.
void CloseLockFile(std::intptr_t lockFile);

}  // namespace troz::platform
