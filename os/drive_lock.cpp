#include "os/drive_lock.h"

namespace troz {

std::string SecondWriterRefusal(int driveIndex, const std::string& driveText,
                                const std::string& location) {
    return "Err:Drive " + std::to_string(driveIndex) + " (" + driveText + ", " + location +
           ") is being written by another copy of TROZFlash; try again when it has finished";
}

std::string LockRefusal(const DriveLockResult& result, int driveIndex, const std::string& driveText,
                        const std::string& location) {
    const std::string drive =
        "Drive " + std::to_string(driveIndex) + " (" + driveText + ", " + location + ")";
    switch (result.outcome) {
        case DriveLockOutcome::HeldElsewhere:
            return SecondWriterRefusal(driveIndex, driveText, location);
        case DriveLockOutcome::InUse:
            return "Err:" + drive + " is in use by another program (a mounted disc or a burner)";
        case DriveLockOutcome::Taken:
        case DriveLockOutcome::Unavailable:
            break;
    }
    return "Err:" + drive + " cannot be locked against other copies of TROZFlash, so nothing " +
           "is written: " + result.reason;
}

}  // namespace troz
