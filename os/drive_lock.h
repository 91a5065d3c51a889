// One writer per drive: while a copy of the tool (window or command line) writes firmware
// into a drive, every other copy that wants to write into the same drive is refused before
// it sends the drive a single command. Two different drives can be written at once.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "os/device_handle.h"

namespace troz {

// Held for as long as the object lives; the system drops it too when the process ends,
// however it ends.
class DriveLock {
public:
    virtual ~DriveLock() = default;
};

enum class DriveLockOutcome {
    Taken,          // this process is the drive's writer now (lock may be null: nothing to hold)
    HeldElsewhere,  // another process of ours is writing into the drive
    Unavailable,    // no lock could be made (reason says why): nothing may be written
    InUse,          // another program has the drive (a mounted disc, a burner): nothing either
};

// Nothing is taken unless a lock says so: a result left as it was made refuses the write.
struct DriveLockResult {
    DriveLockOutcome outcome = DriveLockOutcome::Unavailable;
    std::unique_ptr<DriveLock> lock;
    std::string reason = "no lock was taken";

    static DriveLockResult Taken(std::unique_ptr<DriveLock> lock) {
        return {DriveLockOutcome::Taken, std::move(lock), {}};
    }
    static DriveLockResult Refused(DriveLockOutcome outcome, std::string reason) {
        return {outcome, nullptr, std::move(reason)};
    }
};

// A system drive, by its location (TAtapi::Location) and the handle its commands go
// through. Linux: flock on the node the commands use and on the drive's /dev/srN, which is
// also held open with O_EXCL, as mount and the burners hold it (InUse when one of them has
// it); Windows: a named mutex per location.
DriveLockResult LockDeviceNode(const std::string& location, DeviceHandle handle);
// A drive without a node of its own (a virtual drive): flock on lockFile on Linux (created
// with its folder, both private to the user), a named mutex after the file's path on Windows.
DriveLockResult LockDriveFile(const std::filesystem::path& lockFile);

// The one line that refuses a second writer.
std::string SecondWriterRefusal(int driveIndex, const std::string& driveText,
                                const std::string& location);

// The one line that refuses a write for a lock that was not taken (any outcome but Taken).
std::string LockRefusal(const DriveLockResult& result, int driveIndex, const std::string& driveText,
                        const std::string& location);

}  // namespace troz
