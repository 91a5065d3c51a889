// The exit statuses of trozflash-cli, the same for every command.
#pragma once

namespace troz::cli {

constexpr int kExitOk = 0;  // the command did what it was asked (a flash: "Ok:Flash Complete!!")
constexpr int kExitFailed = 1;  // it ran and failed: a refused package, a failed flash or pack
constexpr int kExitUsage = 2;   // it could not run: a wrong command line, no such drive

}  // namespace troz::cli
