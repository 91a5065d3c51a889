#include "drive/file_stamp.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace troz {

#ifdef _WIN32

namespace {

bool StampOfHandle(HANDLE handle, FileStamp& stamp) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information)) {
        return false;
    }
    const auto join = [](DWORD high, DWORD low) {
        return (static_cast<std::uint64_t>(high) << 32) | low;
    };
    stamp.device = information.dwVolumeSerialNumber;
    stamp.fileNumber = join(information.nFileIndexHigh, information.nFileIndexLow);
    stamp.size = join(information.nFileSizeHigh, information.nFileSizeLow);
    stamp.modified = static_cast<std::int64_t>(join(information.ftLastWriteTime.dwHighDateTime,
                                                    information.ftLastWriteTime.dwLowDateTime));
    return true;
}

}  // namespace

bool StampOfOpenFile(std::FILE* file, FileStamp& stamp) {
    if (file == nullptr) {
        return false;
    }
    return StampOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), stamp);
}

bool StampOfPath(const std::string& path, FileStamp& stamp) {
    // Attributes only: the file stays usable by everyone, and a folder cannot pass for it.
    const HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool stamped = StampOfHandle(handle, stamp);
    CloseHandle(handle);
    return stamped;
}

#else

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

#endif

}  // namespace troz
