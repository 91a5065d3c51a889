// The package file, opened for reading as raw bytes; the destructor closes it on every path
// out of the operation that opened it. Only a regular file opens: a FIFO or a device given
// as a package is refused before any read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "os/file_stamp.h"

namespace troz {

class PackageStream {
public:
    explicit PackageStream(const std::string& path);
    ~PackageStream();
    PackageStream(const PackageStream&) = delete;
    PackageStream& operator=(const PackageStream&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Why the file could not be opened: the system's text, or that it is not a regular file.
    const std::string& Failure() const { return failure_; }
    // Reads up to length bytes; returns how many were read.
    std::size_t Read(std::uint8_t* buffer, std::size_t length);
    bool Seek(std::uint32_t offset);
    void Close();
    // Which file is open, its size and modification time now.
    bool Stamp(FileStamp& stamp) const { return StampOfOpenFile(file_, stamp); }

private:
    std::FILE* file_ = nullptr;
    std::string failure_;
};

constexpr const char* kMemoryAllocation = "Err:Memory allocation";

// The 65535-byte working buffer, or null when no memory can be had (never throws).
std::unique_ptr<std::uint8_t[]> AllocateWorkingBuffer();

}  // namespace troz
