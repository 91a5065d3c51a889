// pack: builds a firmware package from image files (or filler images for test drives).
#pragma once

#include <CLI/CLI.hpp>

namespace troz::cli {

void RegisterPackCommand(CLI::App& app, int& exitStatus);

}  // namespace troz::cli
