// Drive locks on Linux: flock(), which every copy of the tool takes before it writes and
// which the kernel drops when the holder exits or is killed.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>
#include <vector>

#include "os/drive_lock.h"
#include "os/file_lock.h"

namespace troz {

namespace {

constexpr int kExclusiveOpenAttempts = 10;
constexpr long kExclusiveOpenPauseNs = 100'000'000;

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

class HeldFileLock final : public DriveLock {
public:
    explicit HeldFileLock(FileLock lock) : lock_(std::move(lock)) {}

private:
    FileLock lock_;
};

DriveLockResult Refused(int error, const std::string& what) {
    const DriveLockOutcome outcome =
        error == EWOULDBLOCK ? DriveLockOutcome::HeldElsewhere : DriveLockOutcome::Unavailable;
    return DriveLockResult::Refused(outcome, what + ": " + std::strerror(error));
}

bool SameNode(int descriptor, const std::string& path) {
    struct stat open {};
    struct stat named {};
    return fstat(descriptor, &open) == 0 && stat(path.c_str(), &named) == 0 &&
           open.st_rdev == named.st_rdev && open.st_ino == named.st_ino;
}

// udev's look at a drive after a change holds the node exclusively for a moment too: a
// short while of EBUSY is that, a longer one a mount or a burner.
int OpenExclusively(const std::string& location) {
    for (int attempt = 1;; ++attempt) {
        const int descriptor = open(location.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
        if (descriptor >= 0 || errno != EBUSY || attempt == kExclusiveOpenAttempts) {
            return descriptor;
        }
        const timespec pause{0, kExclusiveOpenPauseNs};
        nanosleep(&pause, nullptr);
    }
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
    // And /dev/srN itself: another copy may be using it when it has no access to sg, and
    // held open exclusively it cannot be mounted, nor taken by a burner, while the firmware
    // goes in. EBUSY: one of them has it now.
    const int descriptor = OpenExclusively(location);
    if (descriptor < 0) {
        if (errno == EBUSY) {
            return DriveLockResult::Refused(DriveLockOutcome::InUse,
                                            location + ": " + std::strerror(EBUSY));
        }
        return Refused(errno, location);
    }
    // flock belongs to the open file: the node the commands use is locked once, not twice.
    if (handle < 0 || !SameNode(static_cast<int>(handle), location)) {
        if (const int error = FlockNow(descriptor); error != 0) {
            close(descriptor);
            return Refused(error, location);
        }
    }
    nodes->Add(descriptor, true);
    return DriveLockResult::Taken(std::move(nodes));
}

DriveLockResult LockDriveFile(const std::filesystem::path& lockFile) {
    // The folder is private to the user as the files in it are (the mode counts only for a
    // folder made here; one that exists keeps its own).
    const std::filesystem::path folder = lockFile.parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::filesystem::create_directories(folder.parent_path(), error);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return Refused(errno, folder.string());
        }
    }
    std::string reason;
    FileLock lock = FileLock::Take(lockFile, std::chrono::milliseconds(0), reason);
    if (!lock.Held()) {
        return DriveLockResult::Refused(
            lock.TimedOut() ? DriveLockOutcome::HeldElsewhere : DriveLockOutcome::Unavailable,
            lockFile.string() + ": " + reason);
    }
    return DriveLockResult::Taken(std::make_unique<HeldFileLock>(std::move(lock)));
}

}  // namespace troz
