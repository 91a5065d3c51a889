// Hands the window's Open and Start to the update workflow, and keeps the window open while
// a drive is being programmed: the completion wait dispatches window events, so the close
// box could otherwise end the program in the middle of an update.
#pragma once

#include <memory>

#include "app/tform1.h"
#include "app/window_texts.h"
#include "drive/shutdown_inhibitor.h"
#include "update/update_workflow.h"

namespace troz {

// Open runs the Open step, Start the update; a close (Exit or the close box), or a logout or
// shutdown the desktop asks for, from the press of Start until the flash is complete is
// refused with a box that tells why. Start first makes this process the drive's only writer
// (another copy writing into it refuses Start with one line). While the drive is being
// written the process's ending signals wait and shutdown and sleep are held off (the
// system's inhibitor unless one is given); a signal that waited ends the program after the
// update with its usual status. The objects must outlive the window's events.
void ConnectUpdateWorkflow(TForm1& form, UpdateWorkflow& workflow, TAtapi& atapi,
                           std::unique_ptr<ShutdownInhibitor> inhibitor = nullptr);

}  // namespace troz
