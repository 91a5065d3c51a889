// The exit statuses of trozflash-cli, the same for every command.
#pragma once

namespace troz::cli {

constexpr int kExitOk = 0;  // the command did what it was asked (a flash: "Ok:Flash Complete!!")
constexpr int kExitFailed = 1;  // it ran and failed: a refused package, a failed flash or pack
constexpr int kExitUsage = 2;   // it could not run: a wrong command line, no such drive

// What a status means, for the JSON records.
inline const char* ExitMeaning(int status) {
    switch (status) {
        case kExitOk:
            return "done";
        case kExitFailed:
            return "refused or failed";
        case kExitUsage:
            return "usage error";
        default:
            return "ended by a signal held while the drive was written";
    }
}

}  // namespace troz::cli
