// libFuzzer target over the virtual drives' state file: the input is the file. Whatever is
// read must be written back and read again unchanged, bytes of any value included.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_file.h"
#include "virtual/drive_state_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = troz::fuzz::InputPath("state.json");
    if (!troz::fuzz::WriteFile(path, data, size)) {
        return 0;
    }
    std::string message;
    const troz::DriveStates states = troz::LoadDriveStates(path, message);
    if (!troz::SaveDriveStates(path, states, message)) {
        return 0;
    }
    if (troz::LoadDriveStates(path, message) != states || !message.empty()) {
        std::abort();  // what was saved does not read back as it was
    }
    return 0;
}
