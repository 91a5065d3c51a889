// Drive locks on Linux: flock(), which every copy of the tool takes before it writes and
// which the kernel drops when the holder exits or is killed.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "drive/drive_lock.h"

namespace troz {

namespace {

constexpr mode_t kLockFileMode = 0600;

int FlockNow(int descriptor) {
    int result = 0;
    do {
        result = flock(descriptor, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

// The descriptors it locked; those it opened itself it also closes.
class FlockedNodes final : public DriveLock {
public:
    ~FlockedNodes() override {
        for (const auto& [descriptor, owned] : descriptors_) {
            flock(descriptor, LOCK_UN);
            if (owned) {
                close(descriptor);
            }
        }
    }
    void Add(int descriptor, bool owned) { descriptors_.emplace_back(descriptor, owned); }

private:
    std::vector<std::pair<int, bool>> descriptors_;
};

DriveLockResult Refused(int error, const std::string& what) {
    DriveLockResult result;
    result.outcome =
        error == EWOULDBLOCK ? DriveLockOutcome::HeldElsewhere : DriveLockOutcome::Unavailable;
    result.reason = what + ": " + std::strerror(error);
    return result;
}

bool SameNode(int descriptor, const std::string& path) {
    struct stat open {};
    struct stat named {};
    return fstat(descriptor, &open) == 0 && stat(path.c_str(), &named) == 0 &&
           open.st_rdev == named.st_rdev && open.st_ino == named.st_ino;
}

}  // namespace

DriveLockResult LockDeviceNode(const std::string& location, DeviceHandle handle) {
    auto nodes = std::make_unique<FlockedNodes>();
    // The node the commands go through: the drive's /dev/sgM when it has one.
    if (handle >= 0) {
        const int descriptor = static_cast<int>(handle);
        if (const int error = FlockNow(descriptor); error != 0) {
            return Refused(error, location);
        }
        nodes->Add(descriptor, false);
    }
    // And /dev/srN itself, which another copy may be using when it has no access to sg.
    if (handle < 0 || !SameNode(static_cast<int>(handle), location)) {
        const int descriptor = open(location.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor >= 0) {
            if (const int error = FlockNow(descriptor); error != 0) {
                close(descriptor);
                return Refused(error, location);
            }
            nodes->Add(descriptor, true);
        }
    }
    DriveLockResult result;
    result.lock = std::move(nodes);
    return result;
}

DriveLockResult LockDriveFile(const std::filesystem::path& lockFile) {
    std::error_code ignored;
    std::filesystem::create_directories(lockFile.parent_path(), ignored);
    const int descriptor =
        open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kLockFileMode);
    if (descriptor < 0) {
        return Refused(errno, lockFile.string());
    }
    if (const int error = FlockNow(descriptor); error != 0) {
        close(descriptor);
        return Refused(error, lockFile.string());
    }
    auto nodes = std::make_unique<FlockedNodes>();
    nodes->Add(descriptor, true);
    DriveLockResult result;
    result.lock = std::move(nodes);
    return result;
}

}  // namespace troz
