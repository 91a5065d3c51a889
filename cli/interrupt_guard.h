// What trozflash-cli says when a signal arrives while a drive is being written: ending the
// program then would leave the drive without working firmware. Ctrl+C is refused; SIGTERM,
// SIGHUP and SIGQUIT wait for the update. The line says only that: whether the program then
// ends depends on the signal (one it was started to ignore, as under nohup, does not).
#pragma once

#include "os/termination_signals.h"

namespace troz::cli {

constexpr const char* kInterruptWhileProgramming =
    "The drive is being programmed. Wait until the update has finished before ending "
    "trozflash-cli.";
constexpr const char* kEndAfterProgramming =
    "The drive is being programmed. The update goes on until it has finished.";
constexpr HeldSignalNotices kSignalNotices = {kInterruptWhileProgramming, kEndAfterProgramming};

}  // namespace troz::cli
