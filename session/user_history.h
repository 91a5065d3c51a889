// The user's flash history as a window keeps it for its whole run: opened in the tool's
// state folder when there is one, handed to the session so every flash is recorded, and read
// once at start-up for flashes an earlier run left cut short. The Qt and the Win32 window
// share it; the command line reads the history per command.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "history/flash_history.h"
#include "session/update_session.h"

namespace troz {

class UserHistory {
public:
    UserHistory();

    // Lets the session record its flashes under the front end's name; without a state
    // folder nothing is recorded.
    void RecordInto(SessionSettings& settings, const std::string& frontEnd);
    // One line per flash that was started and never completed, oldest first: what the
    // window's log says before anything else.
    std::vector<std::string> InterruptedWarnings() const;

private:
    std::optional<history::FlashHistory> history_;
};

}  // namespace troz
