// Hands the window's Open and Start to the update workflow, and keeps the window open while
// a drive is being programmed: the completion wait dispatches window events, so the close
// box could otherwise end the program in the middle of an update.
#pragma once

#include "app/tform1.h"
#include "update/update_workflow.h"

namespace troz {

constexpr const char* kCloseWhileProgramming =
    "The drive is being programmed. Wait until the update has finished before closing "
    "TROZ Flash.";

// Open runs the Open step, Start the update; a close (Exit or the close box) from the press
// of Start until the flash is complete is refused with a box that tells why. Both objects
// must outlive the window's events.
void ConnectUpdateWorkflow(TForm1& form, UpdateWorkflow& workflow);

}  // namespace troz
