// Asks the operating system to restart the computer: on Windows with the shutdown privilege
// enabled and ExitWindowsEx; on Linux through the login manager (systemd-logind's Reboot),
// which decides by its own policy whether this user may restart the machine.
#pragma once

#include <string>

namespace troz {

// False, with the reason in error, when the request could not be made or was refused.
bool RequestSystemRestart(std::string& error);

}  // namespace troz
