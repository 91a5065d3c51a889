// The span in which a drive is being written, from the first command that carries firmware
// until the completion wait ends: the process holds its ending signals meanwhile. The update
// session opens and closes it as the flash reports it. Shutdown and sleep are held off by the
// session's inhibitor, taken before the span opens: asking the login manager can take a few
// seconds, which must not pass while the drive waits between firmware commands.
#pragma once

#include <string>

#include "os/termination_signals.h"

namespace troz {

class DriveWriteSpan {
public:
    explicit DriveWriteSpan(HeldSignalNotices notices);
    ~DriveWriteSpan();
    DriveWriteSpan(const DriveWriteSpan&) = delete;
    DriveWriteSpan& operator=(const DriveWriteSpan&) = delete;

    // wakeDescriptor is passed on to HoldTerminationSignals.
    void Begin(int wakeDescriptor = -1);
    void End();
    bool IsOpen() const { return open_; }
    // The ending signal (not SIGINT) that arrived during the last span, 0 when none did:
    // the process should end with ExitStatusOfSignal of it once the update is over.
    int HeldSignal() const { return heldSignal_; }

private:
    HeldSignalNotices notices_;
    bool open_ = false;
    int heldSignal_ = 0;
};

// "TROZ KVW-A100A 1.00 (/dev/sr0)": a drive list item's text with its padding taken out,
// and where the drive lives.
std::string WrittenDriveName(const std::string& itemText, const std::string& location);

}  // namespace troz
