// The drive context of one trozflash-cli run, with the drives TROZFLASH_DRIVES chooses.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/terminal_services.h"
#include "drive/atapi.h"
#include "drive/clock.h"

namespace troz::cli {

class DriveSession {
public:
    // Builds the platform and runs discovery. False, with one line in error, when the
    // variable names no known source of drives.
    bool Open(std::string& error);
    // Open, saying on standard error why it failed.
    bool OpenOrReport();
    // The drive that text names (its index in trozflash-cli list, or a device node such as
    // /dev/sr0 or /dev/sg1), saying on standard error why none does.
    bool PickDrive(const std::string& text, int& index);
    // The same, with the line in error instead of on standard error.
    bool FindDrive(const std::string& text, int& index, std::string& error);
    TAtapi& Atapi() { return *atapi_; }
    DrivePlatform& Platform() { return *platform_; }
    Clock& GetClock() { return clock_; }
    SystemServices& Services() { return services_; }

private:
    SystemClock clock_;
    TerminalServices services_;
    std::unique_ptr<DrivePlatform> platform_;
    std::optional<TAtapi> atapi_;
};

}  // namespace troz::cli
