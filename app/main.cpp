// trozflash: the window program. Of its command line it reads only --version, answered
// before anything else runs: no application object, no instance check, no drive access.
// Every other argument is ignored.
#include <cstdio>
#include <string_view>

#include "app/start_up.h"
#include "drive/standard_streams.h"
#include "troz_version.h"

int main(int argc, char** argv) {
    // First of all: no file of the tool may take the place of a closed standard stream.
    if (!troz::EnsureStandardStreams()) {
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            std::printf("trozflash %s\n", troz::kTrozFlashVersion);
            return 0;
        }
    }
    return troz::RunTrozFlash();
}
