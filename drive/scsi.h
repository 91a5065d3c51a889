// SCSI constants shared by the transports, the command catalogue and the device models.
#pragma once

#include <cstddef>
#include <cstdint>

namespace troz {

// Every command descriptor block the tool sends is 12 bytes long, also for the 6- and
// 10-byte commands (their trailing bytes are zero).
constexpr std::size_t kCdbLength = 12;

// Direction codes passed with every command. They are the ASPI direction flags.
constexpr std::uint8_t kDirectionNone = 0;
constexpr std::uint8_t kDirectionIn = 8;    // SRB_DIR_IN: drive to host
constexpr std::uint8_t kDirectionOut = 16;  // SRB_DIR_OUT: host to drive

// The one-byte command status of ExecCommand: 1 is success, every other value a failure.
constexpr std::uint8_t kCommandSuccess = 1;

// SCSI status bytes.
constexpr std::uint8_t kScsiStatusGood = 0x00;
constexpr std::uint8_t kScsiStatusCheckCondition = 0x02;
constexpr std::uint8_t kScsiStatusBusy = 0x08;

// Sense keys.
constexpr std::uint8_t kSenseNoSense = 0x0;
constexpr std::uint8_t kSenseNotReady = 0x2;
constexpr std::uint8_t kSenseMediumError = 0x3;
constexpr std::uint8_t kSenseHardwareError = 0x4;
constexpr std::uint8_t kSenseIllegalRequest = 0x5;
constexpr std::uint8_t kSenseUnitAttention = 0x6;

// Fixed-format sense data: where the fields the tool reads sit.
constexpr std::size_t kSenseKeyOffset = 2;
constexpr std::size_t kSenseAscOffset = 12;
constexpr std::size_t kSenseAscqOffset = 13;
constexpr std::size_t kFixedSenseLength = 18;

// The sense of a command as the flash procedures read it.
struct SenseBytes {
    std::uint8_t senseKey = 0;  // the whole byte 2 of the sense data, never masked
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    std::uint8_t targetStatus = 0;  // the target's SCSI status byte
};

}  // namespace troz
