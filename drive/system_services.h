// What the drive and update code ask of the system around them: a modal message for the
// user (a message box in the window, a line on the terminal) and a restart of the computer.
// Tests record both and never restart anything.
#pragma once

#include <string>

namespace troz {

class SystemServices {
public:
    virtual ~SystemServices() = default;
    // Shows text to the user and returns once the user has seen it (a modal box with OK).
    virtual void ShowMessage(const std::string& text) = 0;
    // Asks the platform to restart the computer. False, with the reason in error, when the
    // request was refused or could not be made.
    virtual bool RequestRestart(std::string& error) = 0;
};

}  // namespace troz
