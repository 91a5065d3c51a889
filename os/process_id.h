// The running process's id, for names of files that only this process writes.
#pragma once

#include <cstdint>

namespace troz {

std::int64_t CurrentProcessId();

}  // namespace troz
