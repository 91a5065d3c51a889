// File locks on Windows: LockFileEx over the whole file.
#include "os/file_lock.h"
#include "os/file_lock_platform.h"
#include "os/os_errors.h"
#include "os/win32/win32_api.h"

namespace troz {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool TryLock(HANDLE handle, DWORD flags) {
    OVERLAPPED whole{};
    return LockFileEx(handle, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole) !=
           FALSE;
}

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

namespace platform {

std::intptr_t OpenLockFile(const std::filesystem::path& path, std::string& reason) {
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = OsErrorText(GetLastError());
        return kNoLockFile;
    }
    return reinterpret_cast<std::intptr_t>(handle);
}

LockAttempt TryLockExclusive(std::intptr_t lockFile, std::string& reason) {
    if (TryLock(AsHandle(lockFile), LOCKFILE_EXCLUSIVE_LOCK)) {
        return LockAttempt::Taken;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
        return LockAttempt::Busy;
    }
    reason = OsErrorText(error);
    return LockAttempt::Failed;
}

void CloseLockFile(std::intptr_t lockFile) {
    OVERLAPPED whole{};
    UnlockFileEx(AsHandle(lockFile), 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(AsHandle(lockFile));
}

}  // namespace platform

bool LockIsHeld(const std::filesystem::path& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool held = false;
    if (TryLock(handle, 0)) {
        OVERLAPPED whole{};
        UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
    } else {
        held = GetLastError() == ERROR_LOCK_VIOLATION;
    }
    CloseHandle(handle);
    return held;
}

}  // namespace troz
