// The span in which a drive is being written, from the first command that carries firmware
// until the completion wait ends: the process holds its ending signals and keeps the computer
// from shutting down or sleeping. Both front ends open and close it as the update reports it.
#pragma once

#include <cstdio>
#include <string>

#include "drive/shutdown_inhibitor.h"
#include "drive/termination_signals.h"

namespace troz {

class DriveWriteSpan {
public:
    // notes gets the one line that says shutdown and sleep cannot be held off, the first
    // time that happens in this process.
    DriveWriteSpan(ShutdownInhibitor& inhibitor, HeldSignalNotices notices, std::FILE* notes);
    ~DriveWriteSpan();
    DriveWriteSpan(const DriveWriteSpan&) = delete;
    DriveWriteSpan& operator=(const DriveWriteSpan&) = delete;

    // drive names the drive for whoever tries to shut the computer down. wakeDescriptor is
    // passed on to HoldTerminationSignals.
    void Begin(const std::string& drive, int wakeDescriptor = -1);
    void End();
    bool IsOpen() const { return open_; }
    // The ending signal (not SIGINT) that arrived during the last span, 0 when none did:
    // the process should end with ExitStatusOfSignal of it once the update is over.
    int HeldSignal() const { return heldSignal_; }

private:
    ShutdownInhibitor& inhibitor_;
    HeldSignalNotices notices_;
    std::FILE* notes_;
    bool open_ = false;
    bool inhibitorMissingNoted_ = false;
    int heldSignal_ = 0;
};

// "TROZ KVW-A100A 1.00 (/dev/sr0)": a drive list item's text with its padding taken out,
// and where the drive lives.
std::string WrittenDriveName(const std::string& itemText, const std::string& location);

}  // namespace troz
