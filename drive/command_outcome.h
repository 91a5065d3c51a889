// What one command did, as the transport that carried it saw it. Each transport fills one
// record where it finishes a command; the flash procedures, the completion wait and the
// update workflow read that record and nothing else.
#pragma once

#include <cstdint>
#include <optional>
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
    // The platform's error, with the raw host adapter and driver statuses where it has them.
    PlatformError platformError;
    // Bytes of the data phase that did not move and bytes of sense that came back, when the
    // platform says: the pass-through call once it went through; ASPI tells neither.
    std::optional<std::uint32_t> residual;
    std::optional<std::uint8_t> senseLength;
    // How long the command took on the transport's clock, from handing it to the platform
    // until it ended (a time-out or an ASPI wait included).
    std::uint32_t durationMs = 0;
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
