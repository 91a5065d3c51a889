#include "update/package_stream.h"

#include <climits>
#include <new>

#include "os/user_files.h"
#include "update/package_format.h"

namespace troz {

PackageStream::PackageStream(const std::string& path) {
    file_ = OpenRegularFile(path, failure_);
}

PackageStream::~PackageStream() {
    Close();
}

std::size_t PackageStream::Read(std::uint8_t* buffer, std::size_t length) {
    if (file_ == nullptr || length == 0) {
        return 0;
    }
    return std::fread(buffer, 1, length, file_);
}

bool PackageStream::Seek(std::uint32_t offset) {
    // A 32-bit long cannot seek past 2 GiB; no package image lies there.
    if (file_ == nullptr || offset > static_cast<std::uint32_t>(LONG_MAX)) {
        return false;
    }
    return std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
}

void PackageStream::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

std::unique_ptr<std::uint8_t[]> AllocateWorkingBuffer() {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[kWorkingBufferSize]);
}

}  // namespace troz
