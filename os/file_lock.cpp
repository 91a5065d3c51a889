#include "os/file_lock.h"

#include <thread>
#include <utility>

#include "os/file_lock_platform.h"

namespace troz {

namespace {

// Another copy holds it for one read, one save or one appended line: a few milliseconds.
constexpr auto kLockRetry = std::chrono::milliseconds(5);

}  // namespace

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, platform::kNoLockFile)), timedOut_(other.timedOut_) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, platform::kNoLockFile);
        timedOut_ = other.timedOut_;
    }
    return *this;
}

FileLock::~FileLock() {
    Release();
}

bool FileLock::Held() const {
    return handle_ != platform::kNoLockFile;
}

void FileLock::Release() {
    if (Held()) {
        platform::CloseLockFile(std::exchange(handle_, platform::kNoLockFile));
    }
}

FileLock FileLock::Take(const std::filesystem::path& path, std::chrono::milliseconds patience,
                        std::string& reason) {
    FileLock lock;
    const std::intptr_t lockFile = platform::OpenLockFile(path, reason);
    if (lockFile == platform::kNoLockFile) {
        return lock;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const platform::LockAttempt attempt = platform::TryLockExclusive(lockFile, reason);
        if (attempt == platform::LockAttempt::Taken) {
            lock.handle_ = lockFile;
            return lock;
        }
        if (attempt == platform::LockAttempt::Failed) {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            reason = "held by another process";
            lock.timedOut_ = true;
            break;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    platform::CloseLockFile(lockFile);
    return lock;
}

}  // namespace troz
