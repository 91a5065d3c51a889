// File locks on Linux: flock() on a file opened without following a link.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "os/file_lock.h"
#include "os/user_files.h"

namespace troz {

namespace {

constexpr mode_t kPrivateFile = 0600;
// Another copy holds it for one read, one save or one appended line: a few milliseconds.
constexpr auto kLockRetry = std::chrono::milliseconds(5);

// Never through a link, and a FIFO in its place cannot hang the open.
int OpenPrivate(const std::filesystem::path& path, int flags) {
    int descriptor = -1;
    do {
        descriptor =
            ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, kPrivateFile);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// A lock file that is not a regular file of this user's (a folder, a FIFO, one another
// user made) is not one of ours: it cannot be trusted to exclude anybody. One left readable
// by an earlier version is narrowed: anybody who can open it can keep every copy waiting.
std::string LockFileProblem(int descriptor) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        return SystemErrorText(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return "not a regular file";
    }
    if (status.st_uid != ::geteuid()) {
        return "belongs to another user";
    }
    if ((status.st_mode & 077) != 0 && ::fchmod(descriptor, kPrivateFile) != 0) {
        return SystemErrorText(errno);
    }
    return {};
}

}  // namespace

void FileLock::Release() {
    if (handle_ >= 0) {
        const int descriptor = static_cast<int>(handle_);
        ::flock(descriptor, LOCK_UN);
        ::close(descriptor);
        handle_ = -1;
    }
}

FileLock FileLock::Take(const std::filesystem::path& path, std::chrono::milliseconds patience,
                        std::string& reason) {
    FileLock lock;
    const int descriptor = OpenPrivate(path, O_RDWR | O_CREAT);
    if (descriptor < 0) {
        reason = errno == ELOOP ? "a symbolic link" : SystemErrorText(errno);
        return lock;
    }
    if (reason = LockFileProblem(descriptor); !reason.empty()) {
        ::close(descriptor);
        return lock;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
            lock.handle_ = descriptor;
            return lock;
        }
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            reason = SystemErrorText(error);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            reason = "held by another process";
            lock.timedOut_ = true;
            break;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    ::close(descriptor);
    return lock;
}

bool LockIsHeld(const std::filesystem::path& path) {
    const int descriptor = OpenPrivate(path, O_RDONLY);
    if (descriptor < 0) {
        return false;
    }
    // A shared lock is refused only while someone holds the exclusive one.
    const bool held = ::flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(descriptor);
    return held;
}

}  // namespace troz
