// File locks on Linux: flock() on a file opened without following a link.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/file_lock.h"
#include "os/file_lock_platform.h"
#include "os/user_files.h"

namespace troz {

namespace {

constexpr mode_t kPrivateFile = 0600;

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

namespace platform {

std::intptr_t OpenLockFile(const std::filesystem::path& path, std::string& reason) {
    const int descriptor = OpenPrivate(path, O_RDWR | O_CREAT);
    if (descriptor < 0) {
        reason = errno == ELOOP ? "a symbolic link" : SystemErrorText(errno);
        return kNoLockFile;
    }
    if (reason = LockFileProblem(descriptor); !reason.empty()) {
        ::close(descriptor);
        return kNoLockFile;
    }
    return descriptor;
}

LockAttempt TryLockExclusive(std::intptr_t lockFile, std::string& reason) {
    if (::flock(static_cast<int>(lockFile), LOCK_EX | LOCK_NB) == 0) {
        return LockAttempt::Taken;
    }
    if (errno == EWOULDBLOCK || errno == EINTR) {
        return LockAttempt::Busy;
    }
    reason = SystemErrorText(errno);
    return LockAttempt::Failed;
}

void CloseLockFile(std::intptr_t lockFile) {
    // Unlocked first: a forked child sharing the open file would otherwise keep the lock.
    ::flock(static_cast<int>(lockFile), LOCK_UN);
    ::close(static_cast<int>(lockFile));
}

}  // namespace platform

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
