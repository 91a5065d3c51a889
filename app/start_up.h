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

namespace troz {

class TForm1;

// Every way out of the program ends with this code.
constexpr int kExitCode = 0;

struct StartUpHooks {
    // Called once the main window is shown, right before the loop runs.
    std::function<void(TForm1&)> windowShown;
};

// The whole life of the window program. The command line is not read; the result is 0 on
// every path.
int RunTrozFlash(const StartUpHooks& hooks = {});

// Creates the main window over the drive context with Open and Start handed to the update
// workflow, shows it and runs the loop until the window closes.
void RunMainWindow(TAtapi& atapi, Clock& clock, SystemServices& services,
                   const StartUpHooks& hooks);

}  // namespace troz
