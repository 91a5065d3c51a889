// System services that record the messages shown and the restart requests, and refuse a
// restart with refusal (an empty refusal grants it). Tests never reach the system.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "drive/system_services.h"

namespace troz::test {

class RecordingServices final : public SystemServices {
public:
    RecordingServices() = default;
    explicit RecordingServices(std::string refusalText) : refusal(std::move(refusalText)) {}

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool RequestRestart(std::string& error) override {
        ++restartRequests;
        error = refusal;
        return refusal.empty();
    }

    std::vector<std::string> messages;
    int restartRequests = 0;
    std::string refusal = "not in tests";
};

}  // namespace troz::test
