// Hands the window's Open and Start to the update session, shows what the session reports,
// and keeps the window open while a drive is being programmed: the completion wait
// dispatches window messages, so the close command could otherwise end the program in the
// middle of an update. The one file that ties the Win32 window to the update code.
#pragma once

#include <memory>

#include "app/win32/tform1.h"
#include "drive/clock.h"
#include "drive/system_services.h"
#include "os/shutdown_inhibitor.h"

namespace troz::win32 {

// Open runs the Open step, Start the update, both through one UpdateSession over the form;
// the session's refusals and notices (a drive another copy writes, a lock that cannot be
// made, shutdown that cannot be held off) are lines in the log. A close (Exit or the close
// command) or the end of the session (WM_QUERYENDSESSION) from the press of Start until the
// flash is complete is refused with a notice that tells why. While the drive is written the
// system is kept awake and a shutdown shows why it waits (the system's inhibitor over the
// window, unless one is given). The session lives as long as the form's handlers.
void ConnectUpdateSession(TForm1& form, TAtapi& atapi, Clock& clock, SystemServices& services,
                          std::unique_ptr<ShutdownInhibitor> inhibitor = nullptr);

}  // namespace troz::win32
