#include "drive/drive_lock.h"

namespace troz {

std::string SecondWriterRefusal(int driveIndex, const std::string& driveText,
                                const std::string& location) {
    return "Err:Drive " + std::to_string(driveIndex) + " (" + driveText + ", " + location +
           ") is being written by another copy of TROZFlash; try again when it has finished";
}

}  // namespace troz
