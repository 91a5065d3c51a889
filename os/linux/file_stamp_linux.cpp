// File stamps on Linux: what stat() tells of the file.
#include <sys/stat.h>

#include "os/file_stamp.h"

namespace troz {

namespace {

FileStamp StampOfStatus(const struct stat& status) {
    constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(status.st_dev);
    stamp.fileNumber = static_cast<std::uint64_t>(status.st_ino);
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.modified = static_cast<std::int64_t>(status.st_mtim.tv_sec) * kNanosecondsPerSecond +
                     status.st_mtim.tv_nsec;
    return stamp;
}

}  // namespace

bool StampOfOpenFile(std::FILE* file, FileStamp& stamp) {
    struct stat status {};
    if (file == nullptr || ::fstat(fileno(file), &status) != 0) {
        return false;
    }
    stamp = StampOfStatus(status);
    return true;
}

bool StampOfPath(const std::string& path, FileStamp& stamp) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return false;
    }
    stamp = StampOfStatus(status);
    return true;
}

}  // namespace troz
