// The user's files on Windows, through the C library: a replacement is written with
// fwrite() and _commit().
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "os/process_id.h"
#include "os/user_files.h"
#include "os/user_files_platform.h"

namespace troz {

namespace {

using FileStatus = struct _stat64;

bool IsRegular(const FileStatus& status) {
    return (status.st_mode & _S_IFMT) == _S_IFREG;
}

std::string NotRegularReason(const FileStatus& status) {
    const char* kind = "";
    if ((status.st_mode & _S_IFMT) == _S_IFDIR) {
        kind = " (a directory)";
    } else if ((status.st_mode & _S_IFMT) == _S_IFCHR) {
        kind = " (a device)";
    }
    return std::string(platform::kNotRegularFile) + kind;
}

bool WriteNewFile(const std::filesystem::path& file, const void* data, std::size_t size,
                  std::string& reason) {
    std::FILE* stream = _wfopen(file.c_str(), L"wbx");
    if (stream == nullptr) {
        reason = SystemErrorText(errno);
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, stream) == size;
    const bool flushed = written && std::fflush(stream) == 0 && _commit(_fileno(stream)) == 0;
    const int writeError = errno;
    if (std::fclose(stream) != 0 || !flushed) {
        reason = SystemErrorText(writeError);
        return false;
    }
    return true;
}

}  // namespace

std::int64_t CurrentProcessId() {
    return _getpid();
}

std::string SystemErrorText(int error) {
    // The C library's errno values, not the system's own error codes that FormatOsError knows.
    const char* description = error > 0 ? std::strerror(error) : nullptr;
    if (description != nullptr && *description != '\0') {
        return description;
    }
    return "error " + std::to_string(error);
}

bool ExistsAndIsNotRegular(const std::string& path, std::string& reason) {
    FileStatus status{};
    if (_stat64(path.c_str(), &status) != 0 || IsRegular(status)) {
        return false;
    }
    reason = NotRegularReason(status);
    return true;
}

namespace platform {

std::FILE* OpenRegular(const std::string& path, std::string& reason, int& openError) {
    openError = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        openError = errno;
        reason = SystemErrorText(openError);
        return nullptr;
    }
    FileStatus status{};
    if (_fstat64(_fileno(file), &status) != 0 || !IsRegular(status)) {
        reason = NotRegularReason(status);
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool WriteReplacement(const std::filesystem::path& temporary,
                      const std::filesystem::path& /*target*/, const void* data, std::size_t size,
                      std::string& reason) {
    if (!WriteNewFile(temporary, data, size, reason)) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}

}  // namespace platform

}  // namespace troz
