// The fuzz input as a file on disk, for code that reads files by name: one path per fuzzing
// process, removed at exit.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace troz::fuzz {

// name is the file's name within the temporary folder; the process id is added to it.
inline const std::string& InputPath(const char* name) {
    static const std::string* const path = [name] {
        auto* made = new std::string("/tmp/troz_" + std::to_string(getpid()) + "_" + name);
        std::atexit([] { std::remove(InputPath("").c_str()); });
        return made;
    }();
    return *path;
}

inline bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace troz::fuzz
