#include "cli/terminal_services.h"

#include <cstdio>

#include "os/system_restart.h"

namespace troz::cli {

void TerminalServices::ShowMessage(const std::string& text) {
    // System texts come with their own line break; every message ends in exactly one.
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

bool TerminalServices::RequestRestart(std::string& error) {
    return RequestSystemRestart(error);
}

}  // namespace troz::cli
