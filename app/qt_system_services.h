// The system services of the window program: messages of drive access as modal boxes, and
// the restart request handed to the platform (the login manager on Linux, ExitWindowsEx on
// Windows).
#pragma once

#include <string>

#include "drive/system_services.h"

namespace troz {

class QtSystemServices final : public SystemServices {
public:
    // A modal box with the application title as its caption and one OK button. It needs the
    // application object, so drive discovery runs only after that exists.
    void ShowMessage(const std::string& text) override;
    bool RequestRestart(std::string& error) override;
};

}  // namespace troz
