#include "os/drive_write_span.h"

namespace troz {

DriveWriteSpan::DriveWriteSpan(HeldSignalNotices notices) : notices_(notices) {}

DriveWriteSpan::~DriveWriteSpan() {
    End();
}

void DriveWriteSpan::Begin(int wakeDescriptor) {
    if (open_) {
        return;
    }
    HoldTerminationSignals(notices_, wakeDescriptor);
    open_ = true;
    heldSignal_ = 0;
}

void DriveWriteSpan::End() {
    if (!open_) {
        return;
    }
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
