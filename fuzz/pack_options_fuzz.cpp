// libFuzzer target over pack's option handling: the input is the argument list after
// "pack", one argument per line. The run happens in a folder of its own that holds two image
// files; an argument holding a "/" is not tried, so nothing outside that folder is written.
// Every run must end with an exit status and at most a message, never a crash or a package
// grown without bound.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_pack.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMostArguments = 64;
constexpr std::size_t kSmallImage = 3000;
constexpr std::size_t kLargeImage = 70000;

fs::path& Folder() {
    static fs::path folder;
    return folder;
}

// Where libFuzzer reads and writes its corpus folders, given relative to it.
fs::path& StartFolder() {
    static fs::path folder;
    return folder;
}

void WriteImage(const char* name, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i == 0 ? 0x02 : (i * 7) & 0x7F);
    }
    std::FILE* file = std::fopen(name, "wb");
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

// Only the two images, as they were, before each run.
void ResetFolder() {
    for (const auto& entry : fs::directory_iterator(Folder())) {
        std::error_code ignored;
        fs::remove_all(entry.path(), ignored);
    }
    WriteImage("small.bin", kSmallImage);
    WriteImage("large.bin", kLargeImage);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Folder() = fs::temp_directory_path() / ("troz_pack_fuzz_" + std::to_string(getpid()));
    StartFolder() = fs::current_path();
    fs::create_directories(Folder());
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(Folder(), ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{"pack"};
    std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string line; std::getline(lines, line);) {
        if (line.find('/') != std::string::npos || arguments.size() == kMostArguments) {
            return 0;
        }
        arguments.push_back(line);
    }
    fs::current_path(Folder());
    ResetFolder();

    CLI::App app{"trozflash-cli"};
    app.require_subcommand(1);
    int exitStatus = 0;
    troz::cli::RegisterPackCommand(app, exitStatus);
    std::vector<char*> argv{const_cast<char*>("trozflash-cli")};
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    // What pack prints is not looked at.
    std::ostringstream discarded;
    std::streambuf* const out = std::cout.rdbuf(discarded.rdbuf());
    std::streambuf* const err = std::cerr.rdbuf(discarded.rdbuf());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError&) {
        // Refused options end here, as in trozflash-cli, with CLI11's message.
    }
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    fs::current_path(StartFolder());
    return 0;
}
