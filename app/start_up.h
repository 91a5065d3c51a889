// Start-up and lifetime of the window program: the application object, the single-instance
// guard, drive access, the main window and its loop, and the release of drive access at the
// end.
#pragma once

#include <functional>
#include <string>

#include "app/tapplication.h"
#include "drive/atapi.h"
#include "drive/clock.h"
#include "drive/system_services.h"
#include "os/shutdown_inhibitor.h"

namespace troz {

class TForm1;

// Every way out of the program ends with this code.
constexpr int kExitCode = 0;

struct StartUpHooks {
    // Called once the main window is shown, right before the loop runs.
    std::function<void(TForm1&)> windowShown;
    // The inhibitor of shutdown and sleep the window uses; null: the system's.
    std::function<std::unique_ptr<ShutdownInhibitor>()> inhibitor;
};

// The whole life of the window program. The command line is not read; the result is 0 on
// every path but one: a SIGTERM, SIGHUP or SIGQUIT that waited for a drive's write ends it
// with that signal's usual status (128 + its number).
int RunTrozFlash(const StartUpHooks& hooks = {});

// Creates the main window over the drive context with Open and Start handed to the update
// workflow, shows it and runs the loop until the window closes. Returns the loop's result.
int RunMainWindow(TAtapi& atapi, Clock& clock, SystemServices& services, const StartUpHooks& hooks);

}  // namespace troz
