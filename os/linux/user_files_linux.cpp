// The user's files on Linux: a FIFO is opened without waiting for a writer and refused, and a
// replacement is written with write(), fsync() and the old file's mode.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "os/linux/whole_writes.h"
#include "os/os_errors.h"
#include "os/process_id.h"
#include "os/user_files.h"
#include "os/user_files_platform.h"

namespace troz {

namespace {

std::string NotRegularReason(const struct stat& status) {
    const char* kind = "";
    if (S_ISDIR(status.st_mode)) {
        kind = " (a directory)";
    } else if (S_ISFIFO(status.st_mode)) {
        kind = " (a FIFO)";
    } else if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        kind = " (a device)";
    } else if (S_ISSOCK(status.st_mode)) {
        kind = " (a socket)";
    }
    return std::string(platform::kNotRegularFile) + kind;
}

bool WriteNewFile(const std::filesystem::path& file, const void* data, std::size_t size,
                  mode_t mode, std::string& reason) {
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor < 0) {
        reason = SystemErrorText(errno);
        return false;
    }
    bool written = false;
    int writeError = 0;
    {
        const platform::FileSizeSignalIgnored fileSizeSignal;
        written = platform::WriteAll(descriptor,
                                     std::string_view(static_cast<const char*>(data), size)) &&
                  ::fsync(descriptor) == 0;
        writeError = errno;
    }
    if (::close(descriptor) != 0 || !written) {
        reason = SystemErrorText(written ? errno : writeError);
        return false;
    }
    return true;
}

}  // namespace

std::int64_t CurrentProcessId() {
    return ::getpid();
}

std::string SystemErrorText(int error) {
    // errno values are the system's own error codes here.
    return error > 0 ? OsErrorText(static_cast<std::uint32_t>(error))
                     : "error " + std::to_string(error);
}

bool ExistsAndIsNotRegular(const std::string& path, std::string& reason) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) {
        return false;
    }
    reason = NotRegularReason(status);
    return true;
}

namespace platform {

std::FILE* OpenRegular(const std::string& path, std::string& reason, int& openError) {
    openError = 0;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        openError = errno;
        reason = SystemErrorText(openError);
        return nullptr;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        reason = SystemErrorText(errno);
        ::close(descriptor);
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = NotRegularReason(status);
        ::close(descriptor);
        return nullptr;
    }
    // Reads of a regular file never wait; the flag only mattered for the open.
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags != -1) {
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    }
    std::FILE* file = ::fdopen(descriptor, "rb");
    if (file == nullptr) {
        reason = SystemErrorText(errno);
        ::close(descriptor);
    }
    return file;
}

bool WriteReplacement(const std::filesystem::path& temporary, const std::filesystem::path& target,
                      const void* data, std::size_t size, std::string& reason) {
    struct stat status {};
    // A new file gets what an ordinary create gives it; a replaced one keeps its mode.
    mode_t mode = 0666;
    const bool replacing = ::lstat(target.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    if (replacing) {
        mode = status.st_mode & 07777;
    }
    ::unlink(temporary.c_str());  // left by a run of the same process id that died
    if (!WriteNewFile(temporary, data, size, mode, reason)) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (replacing) {
        ::chmod(temporary.c_str(), mode);  // the umask took bits the old file had
    }
    return true;
}

}  // namespace platform

}  // namespace troz
