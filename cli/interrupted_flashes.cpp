#include "cli/interrupted_flashes.h"

#include <iostream>

#include "os/user_files.h"

namespace troz::cli {

nlohmann::json WarnOfInterruptedFlashes(const history::HistoryRead& read) {
    nlohmann::json warnings = nlohmann::json::array();
    for (const std::size_t index : read.interrupted) {
        const history::FlashRecord& record = read.records[index];
        const std::size_t number = index + 1;  // as history lists it
        const std::string line = history::InterruptedWarning(record, number);
        std::cerr << PrintableName(line) << '\n';
        warnings.push_back(
            {{"number", number},
             {"id", record.id},
             {"time", record.time},
             {"drive",
              {{"index", record.start.driveIndex},
               {"identification", record.start.identification},
               {"device_node", record.start.deviceNode}}},
             {"package",
              {{"path", record.start.packagePath}, {"sha256", record.start.packageSha256}}},
             {"message", line}});
    }
    return warnings;
}

nlohmann::json WarnOfInterruptedFlashes() {
    const auto folder = history::FlashHistory::DefaultFolder();
    if (!folder) {
        return nlohmann::json::array();
    }
    return WarnOfInterruptedFlashes(history::FlashHistory(*folder).Read());
}

}  // namespace troz::cli
