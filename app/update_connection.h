// Hands the window's Open and Start to the update session, shows what the session reports,
// and keeps the window open while a drive is being programmed: the completion wait
// dispatches window events, so the close box could otherwise end the program in the middle
// of an update.
#pragma once

#include <memory>

#include "app/tform1.h"
#include "app/window_texts.h"
#include "drive/clock.h"
#include "drive/system_services.h"
#include "os/shutdown_inhibitor.h"

namespace troz {

// Open runs the Open step, Start the update, both through one UpdateSession over the form;
// the session's refusals and notices (a drive another copy writes, a lock that cannot be
// made, shutdown that cannot be held off) are lines in the log. A close (Exit or the close
// box), or a logout or shutdown the desktop asks for, from the press of Start until the
// flash is complete is refused with a box that tells why; so is a signal that arrives while
// the drive is written, which then ends the program after the update with its usual status.
// inhibitor null: the system's. The session lives as long as the form.
void ConnectUpdateSession(TForm1& form, TAtapi& atapi, Clock& clock, SystemServices& services,
                          std::unique_ptr<ShutdownInhibitor> inhibitor = nullptr);

}  // namespace troz
