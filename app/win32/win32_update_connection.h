// Hands the window's Open and Start to the update, and keeps the window open while a drive
// is being programmed: the completion wait dispatches window messages, so the close command
// could otherwise end the program in the middle of an update. The one file that ties the
// Win32 window to the update code.
#pragma once

#include <memory>

#include "app/win32/tform1.h"
#include "drive/shutdown_inhibitor.h"
#include "update/update_workflow.h"

namespace troz::win32 {

// Open runs the Open step, Start the update; a close (Exit or the close command) or the
// end of the session (WM_QUERYENDSESSION) from the press of Start until the flash is
// complete is refused with a notice that tells why. Start first makes this process the
// drive's only writer (another copy writing into it refuses Start with one line). While the
// drive is being written, shutdown and sleep are held off (the system's inhibitor over the
// window, which gives a shutdown the reason to wait, unless one is given). The objects must
// outlive the window's messages.
void ConnectUpdateWorkflow(TForm1& form, UpdateWorkflow& workflow, TAtapi& atapi,
                           std::unique_ptr<ShutdownInhibitor> inhibitor = nullptr);

}  // namespace troz::win32
