// File stamps on Windows: the volume serial number, the file index, the size and the last
// write time of the file's handle.
#include <io.h>

#include "os/file_stamp.h"
#include "os/win32/win32_api.h"

namespace troz {

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

}  // namespace troz
