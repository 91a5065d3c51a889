// Ctrl+C while a drive is programming itself would end the program in the middle of the
// update and leave the user guessing what state the drive is in. While refused, an interrupt
// only prints why and the update goes on.
#pragma once

namespace troz::cli {

constexpr const char* kInterruptWhileProgramming =
    "The drive is being programmed. Wait until the update has finished before ending "
    "trozflash-cli.";

// Refused: SIGINT prints the line above on standard error and is otherwise ignored. Not
// refused: SIGINT does again what it did before.
void SetInterruptsRefused(bool refused);

}  // namespace troz::cli
