#include "session/user_history.h"

namespace troz {

UserHistory::UserHistory() {
    if (const auto folder = history::FlashHistory::DefaultFolder()) {
        history_.emplace(*folder);
    }
}

void UserHistory::RecordInto(SessionSettings& settings, const std::string& frontEnd) {
    if (history_) {
        settings.history = &*history_;
        settings.frontEnd = frontEnd;
    }
}

std::vector<std::string> UserHistory::InterruptedWarnings() const {
    std::vector<std::string> lines;
    if (!history_) {
        return lines;
    }
    const history::HistoryRead read = history_->Read();
    for (const std::size_t index : read.interrupted) {
        // Numbered as trozflash-cli history lists it, so history --forget finds it.
        lines.push_back(history::InterruptedWarning(read.records[index], index + 1));
    }
    return lines;
}

}  // namespace troz
