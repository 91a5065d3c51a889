// What tells one file from another, and a file from itself after it was written to: the
// device and file number it lives under, its size and its modification time. A package is
// stamped when Start checks it and stamped again before the drive is asked to program it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace troz {

struct FileStamp {
    std::uint64_t device = 0;      // Windows: the volume serial number
    std::uint64_t fileNumber = 0;  // POSIX: the inode; Windows: the file index
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // in the system's finest unit (ns on POSIX, 100 ns on Windows)

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of an open file. False when the system cannot tell it.
bool StampOfOpenFile(std::FILE* file, FileStamp& stamp);

// The stamp of the file a path names now (symbolic links followed). False when nothing
// can be found there.
bool StampOfPath(const std::string& path, FileStamp& stamp);

}  // namespace troz
