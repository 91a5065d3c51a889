// An exclusive lock on a file of its own, held while the object lives. The system drops it
// when the holder ends, however it ends (flock on Linux, LockFileEx on Windows), and every
// open of the file is a lock of its own, so threads of one process exclude each other too.
// Lock files are private to their user (0600 on Linux; on Windows they live in per-user
// folders).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace troz {

class FileLock {
public:
    FileLock() = default;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Creates path when missing and waits at most patience for the lock: a copy of the
    // tool that hangs while holding it must not hang every other copy. On failure the lock
    // is not held and reason says why ("held by another process", or the system's text).
    static FileLock Take(const std::filesystem::path& path, std::chrono::milliseconds patience,
                         std::string& reason);

    bool Held() const;
    // The lock was not taken because another holder kept it past the patience.
    bool TimedOut() const { return timedOut_; }
    void Release();

private:
    std::intptr_t handle_ = -1;  // a file descriptor, or a HANDLE
    bool timedOut_ = false;
};

// Whether some open of path holds its lock now (another process, or another FileLock of
// this one). A missing or unreadable file holds none.
bool LockIsHeld(const std::filesystem::path& path);

}  // namespace troz
