#include "cli/terminal_services.h"

#include <cstdio>

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
    error = "restarting the computer is not available from here";
    return false;
}

}  // namespace troz::cli
