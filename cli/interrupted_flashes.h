// The warning of a flash cut short: list, flash, probe and history say it on standard error
// before anything else, once per interrupted flash, and put it in their JSON.
#pragma once

#include <nlohmann/json.hpp>

#include "history/flash_history.h"

namespace troz::cli {

// Writes one line per interrupted flash of a history read to standard error and gives them
// as a JSON array: number (for history --forget), id, time, drive, package and the line.
nlohmann::json WarnOfInterruptedFlashes(const history::HistoryRead& read);

// The same from the user's own history; an empty array when there is none to be read.
nlohmann::json WarnOfInterruptedFlashes();

}  // namespace troz::cli
