// The part the two device programs share (the USB mass-storage gadget and the TCMU handler
// that serve a virtual drive to a real kernel): their command-line options, which choose the
// drive's personality and its faults, and one command as the program serves it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "drive/clock.h"
#include "virtual/virtual_drive.h"

namespace troz {

// Which commands a fault counts: those with an opcode, or the vendor download's blocks or
// triggers (opcode 5A is also MODE SENSE(10), which the kernel sends on its own).
constexpr int kKindBlock = 256;
constexpr int kKindTrigger = 257;
constexpr int kKindCount = 258;

// A command that the program answers only after a delay (slower than the host's time-out).
struct DelayedCommand {
    int kind = 0;
    std::uint32_t occurrence = 1;
    std::uint32_t delayMs = 0;
};

// The occurrence-th command with this opcode, once answered, makes the program run the
// vanish command (which takes the drive away from the host) from another thread.
struct VanishPoint {
    int kind = 0;
    std::uint32_t occurrence = 1;
};

// The occurrence-th command of a kind fails with CHECK CONDITION and this sense.
struct FailedCommand {
    int kind = 0;
    std::uint32_t occurrence = 1;
    Sense sense;
};

struct DeviceProgramOptions {
    VirtualDriveConfig config = ConfigFor(Personality::Direct);
    std::vector<FailedCommand> failures;
    std::vector<DelayedCommand> delays;
    std::optional<VanishPoint> vanishPoint;
    std::string vanishCommand;
    // The first data block the drive receives is stored with its first byte changed, as a
    // damaged link would deliver it: the trigger's checksum then no longer matches.
    bool corruptFirstBlock = false;
    std::string logFile;
    std::vector<std::string> rest;  // arguments for the transport itself
};

// Reads the options every device program takes. False with one line in error for an
// unknown personality or a malformed value; arguments it does not know go to rest.
bool ParseDeviceProgramOptions(int argc, char** argv, DeviceProgramOptions& options,
                               std::string& error);
extern const char* const kDeviceProgramUsage;

// One virtual drive served to a host: every command goes through Serve, which applies the
// program's own faults around the drive model and logs the command.
class ServedDrive {
public:
    ServedDrive(Clock& clock, DeviceProgramOptions options);
    ~ServedDrive();
    ServedDrive(const ServedDrive&) = delete;
    ServedDrive& operator=(const ServedDrive&) = delete;

    struct Answer {
        DeviceReply reply;
        std::uint32_t delayMs = 0;  // how long to hold the answer back
    };
    // cdbLength is what the host sent (shorter CDBs are padded with zeros).
    Answer Serve(const std::uint8_t* cdb, std::size_t cdbLength, std::uint8_t direction,
                 std::uint8_t* buffer, std::uint32_t length);
    // Call after the answer went out: runs the vanish command when its point has come.
    void AfterAnswer();
    VirtualDrive& Drive() { return drive_; }
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    DeviceProgramOptions options_;
    VirtualDrive drive_;
    std::vector<std::uint32_t> seen_ = std::vector<std::uint32_t>(kKindCount, 0);
    bool corrupted_ = false;
    bool vanishDue_ = false;
    bool vanished_ = false;
    std::FILE* log_ = nullptr;
};

// The direction of the data of a command, from its opcode and CDB (a data-length field the
// host set tells the rest): transports that do not say which way data flows need it.
std::uint8_t DataDirectionOf(const std::uint8_t* cdb);

}  // namespace troz
