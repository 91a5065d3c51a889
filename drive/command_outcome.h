// What one command did, as the transport that carried it saw it. Each transport fills one
// record where it finishes a command; the flash procedures, the completion wait and the
// update workflow read that record and nothing else.
#pragma once

#include <cstdint>
#include <string>

#include "drive/pass_through_backend.h"
#include "drive/scsi.h"

namespace troz {

enum class CommandCategory {
    AnsweredGood,            // the drive answered with GOOD status
    AnsweredCheckCondition,  // the drive answered with CHECK CONDITION; the sense tells why
    AnsweredOtherStatus,     // the drive answered with BUSY or another status
    ToleratedPlatformError,  // the platform call timed out or failed below SCSI; the status
                             // byte still decides, but the drive never answered
    OtherPlatformError,      // the platform call failed; the user has been shown why
    NoDevice,                // there was no drive to send the command to
};

struct CommandOutcome {
    // The one-byte command status that the command functions return (kCommandSuccess or a
    // failure value of the transport).
    std::uint8_t status = 0;
    CommandCategory category = CommandCategory::NoDevice;
    SenseBytes sense;
    PlatformError platformError;
    // Where the command failed below the drive, for the user; empty when it did not.
    std::string context;

    // The drive itself answered the command (with whatever status).
    bool Answered() const {
        return category == CommandCategory::AnsweredGood ||
               category == CommandCategory::AnsweredCheckCondition ||
               category == CommandCategory::AnsweredOtherStatus;
    }
    // The status byte says success and the drive really gave it.
    bool SucceededOnDrive() const {
        return status == kCommandSuccess && category != CommandCategory::ToleratedPlatformError;
    }
};

}  // namespace troz
