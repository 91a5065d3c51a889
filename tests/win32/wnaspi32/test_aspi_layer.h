// The ASPI layer of the test WNASPI32.DLL: the built-in virtual drives at their ASPI
// addresses (host adapter 0 targets 0 and 1, host adapter 1 target 0), in real time.
//
// Completion is as a real ASPI manager does it: a SCSI command that moves data is still
// pending when SendASPI32Command returns, and a thread of the layer completes it a moment
// later and sets the event in the request's post-procedure field; commands without data
// complete at once. Device-type requests complete at once on host adapter 0 and later on
// host adapter 1, where the caller polls the status byte.
//
// Settings, from the environment of the process:
//   TROZ_WNASPI32_LOG          a file that gets one line per request (see CommandLog)
//   TROZ_WNASPI32_STATE        the drives' state file: what a flash made of them survives
//                              the process, as with TROZFLASH_DRIVES=virtual
//   TROZ_WNASPI32_FIRST_DRIVE  how drive 0 takes firmware: direct (default),
//                              resend-function5, third-attempt or never-comes-back
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "drive/clock.h"
#include "virtual/aspi_manager.h"
#include "virtual/builtin_drives.h"

namespace troz::wnaspi32 {

// Drives program themselves in this long, and every command costs this much, so that a
// flash of the demo package takes seconds, most of them the procedure's own pauses.
constexpr std::uint32_t kProgrammingMs = 300;
constexpr std::uint32_t kCommandLatencyMs = 1;

// One line per request, written when it completes:
//   <arrival ms> exec <ha>:<target>:<lun> <cdb, 24 hex digits> <length> <now|later>
//       -> <status> <target status> <sense key> <asc> <ascq>
//   <arrival ms> devtype <ha>:<target>:<lun> <now|later> -> <status> <device type>
//   <arrival ms> abort -> <status>
// Times are milliseconds since the layer was made; numbers after the arrow are hex.
class CommandLog {
public:
    explicit CommandLog(const char* path);
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    void Write(const std::string& line);

private:
    std::FILE* file_ = nullptr;
};

class TestAspiLayer {
public:
    TestAspiLayer();
    TestAspiLayer(const TestAspiLayer&) = delete;
    TestAspiLayer& operator=(const TestAspiLayer&) = delete;

    std::uint32_t SupportInfo() const;
    std::uint32_t Send(std::uint8_t* request);

    // The work of a request that completes later; runs on the layer's completion thread.
    void CompleteExec(std::uint8_t* request, void* event, std::uint32_t arrival);
    void CompleteDeviceType(std::uint8_t* request, std::uint32_t arrival);

private:
    void GetDeviceType(std::uint8_t* request, std::uint32_t arrival);
    void ExecScsiCommand(std::uint8_t* request, std::uint32_t arrival);
    void Abort(std::uint8_t* request, std::uint32_t arrival);
    // Runs the command on its drive and fills in the request; the status byte goes last.
    std::string Execute(std::uint8_t* request);
    VirtualDrive* DriveAt(const AspiAddress& address) const;
    std::uint32_t Now();

    SystemClock clock_;
    std::uint32_t start_;
    BuiltinDriveSet drives_;
    std::map<AspiAddress, VirtualDrive*> addresses_;
    std::unique_ptr<CommandLog> log_;
    // The drives and the requests still pending are shared with the completion threads.
    std::mutex mutex_;
    std::set<std::uint8_t*> pending_;
};

}  // namespace troz::wnaspi32
