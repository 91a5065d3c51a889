#include "drive/drive_write_span.h"

namespace troz {

DriveWriteSpan::DriveWriteSpan(ShutdownInhibitor& inhibitor, HeldSignalNotices notices,
                               std::FILE* notes)
    : inhibitor_(inhibitor), notices_(notices), notes_(notes) {}

DriveWriteSpan::~DriveWriteSpan() {
    End();
}

void DriveWriteSpan::Begin(const std::string& drive, int wakeDescriptor) {
    if (open_) {
        return;
    }
    HoldTerminationSignals(notices_, wakeDescriptor);
    open_ = true;
    heldSignal_ = 0;
    std::string error;
    if (!inhibitor_.Take("Writing firmware into " + drive, error) && !inhibitorMissingNoted_) {
        inhibitorMissingNoted_ = true;
        if (notes_ != nullptr) {
            std::fprintf(notes_,
                         "Shutdown and sleep are not held off while the drive is written: %s\n",
                         error.c_str());
            std::fflush(notes_);
        }
    }
}

void DriveWriteSpan::End() {
    if (!open_) {
        return;
    }
    inhibitor_.Release();
    heldSignal_ = ReleaseTerminationSignals();
    open_ = false;
}

std::string WrittenDriveName(const std::string& itemText, const std::string& location) {
    std::string name;
    for (const char c : itemText) {
        if (c != ' ' || (!name.empty() && name.back() != ' ')) {
            name += c;
        }
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    return location.empty() ? name : name + " (" + location + ")";
}

}  // namespace troz
