// trozflash: the window program. Of its command line it reads only --help and --version,
// answered on the terminal before anything else runs: no application object (which would
// need a display), no instance check, no drive access. Every other argument is ignored.
#include <cstdio>
#include <string_view>

#include "app/start_up.h"
#include "os/standard_streams.h"
#include "troz_version.h"

namespace {

constexpr const char* kUsage =
    "Usage: trozflash\n"
    "The TROZFlash window: pick an optical drive, open a firmware package (.tfs) and press\n"
    "Start. The window reads no options; its command line is ignored but for these two:\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n"
    "trozflash-cli runs the same update on a terminal (trozflash-cli --help).\n";

}  // namespace

int main(int argc, char** argv) {
    // First of all: no file of the tool may take the place of a closed standard stream.
    if (!troz::EnsureStandardStreams()) {
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--version") {
            std::printf("trozflash %s\n", troz::kTrozFlashVersion);
            return 0;
        }
        if (argument == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    return troz::RunTrozFlash();
}
