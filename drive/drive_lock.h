// One writer per drive: while a copy of the tool (window or command line) writes firmware
// into a drive, every other copy that wants to write into the same drive is refused before
// it sends the drive a single command. Two different drives can be written at once.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "drive/pass_through_backend.h"

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
    Unavailable,    // no lock could be made (reason says why); the write may go on without
};

struct DriveLockResult {
    DriveLockOutcome outcome = DriveLockOutcome::Taken;
    std::unique_ptr<DriveLock> lock;
    std::string reason;
};

// A system drive, by its location (TAtapi::Location) and the handle its commands go
// through. Linux: flock on the node the commands use and on the drive's /dev/srN; Windows:
// a named mutex per location.
DriveLockResult LockDeviceNode(const std::string& location, DeviceHandle handle);
// A drive without a node of its own (a virtual drive): flock on lockFile on Linux (created
// with its folder), a named mutex after the file's path on Windows.
DriveLockResult LockDriveFile(const std::filesystem::path& lockFile);

// The one line that refuses a second writer.
std::string SecondWriterRefusal(int driveIndex, const std::string& driveText,
                                const std::string& location);

}  // namespace troz
