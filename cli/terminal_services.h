// System services on a terminal: a message is one line on standard error.
#pragma once

#include "drive/system_services.h"

namespace troz::cli {

class TerminalServices final : public SystemServices {
public:
    void ShowMessage(const std::string& text) override;
    bool RequestRestart(std::string& error) override;
};

}  // namespace troz::cli
