// File locks on Windows: LockFileEx over the whole file.
#include <thread>

#include "os/file_lock.h"
#include "os/os_errors.h"
#include "os/win32/win32_api.h"

namespace troz {

namespace {

// Another copy holds it for one read, one save or one appended line: a few milliseconds.
constexpr auto kLockRetry = std::chrono::milliseconds(5);
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

void FileLock::Release() {
    if (handle_ != -1) {
        OVERLAPPED whole{};
        UnlockFileEx(AsHandle(handle_), 0, MAXDWORD, MAXDWORD, &whole);
        CloseHandle(AsHandle(handle_));
        handle_ = -1;
    }
}

FileLock FileLock::Take(const std::filesystem::path& path, std::chrono::milliseconds patience,
                        std::string& reason) {
    FileLock lock;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = OsErrorText(GetLastError());
        return lock;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (TryLock(handle, LOCKFILE_EXCLUSIVE_LOCK)) {
            lock.handle_ = reinterpret_cast<std::intptr_t>(handle);
            return lock;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            reason = OsErrorText(error);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            reason = "held by another process";
            lock.timedOut_ = true;
            break;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    CloseHandle(handle);
    return lock;
}

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
