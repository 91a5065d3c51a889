#include "drive/user_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "drive/os_errors.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace troz {

namespace {

constexpr const char* kNotRegularPrefix = "not a regular file";
// The longest valid UTF-8 sequence.
constexpr std::size_t kLongestSequence = 4;

#ifdef _WIN32
using FileStatus = struct _stat64;
bool IsRegular(const FileStatus& status) {
    return (status.st_mode & _S_IFMT) == _S_IFREG;
}
#else
using FileStatus = struct stat;
bool IsRegular(const FileStatus& status) {
    return S_ISREG(status.st_mode);
}
#endif

std::string NotRegularReason(const FileStatus& status) {
    const char* kind = "";
#ifdef _WIN32
    if ((status.st_mode & _S_IFMT) == _S_IFDIR) {
        kind = " (a directory)";
    } else if ((status.st_mode & _S_IFMT) == _S_IFCHR) {
        kind = " (a device)";
    }
#else
    if (S_ISDIR(status.st_mode)) {
        kind = " (a directory)";
    } else if (S_ISFIFO(status.st_mode)) {
        kind = " (a FIFO)";
    } else if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        kind = " (a device)";
    } else if (S_ISSOCK(status.st_mode)) {
        kind = " (a socket)";
    }
#endif
    return std::string(kNotRegularPrefix) + kind;
}

// Length of the valid UTF-8 sequence at text[i] that is not a C1 control, or 0.
std::size_t ShowableSequence(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t codePoint = 0;
    if (lead < 0x80) {
        return (lead < 0x20 || lead == 0x7F) ? 0 : 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = kLongestSequence;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < length) {
        return 0;
    }
    for (std::size_t n = 1; n < length; ++n) {
        const auto next = static_cast<unsigned char>(text[i + n]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates, values past Unicode and the C1 controls are not shown.
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
        codePoint > 0x10FFFF || codePoint <= 0x9F) {
        return 0;
    }
    return length;
}

}  // namespace

std::string SystemErrorText(int error) {
#ifdef _WIN32
    // The C library's errno values, not the system's own error codes that FormatOsError knows.
    const char* description = error > 0 ? std::strerror(error) : nullptr;
    if (description != nullptr && *description != '\0') {
        return description;
    }
#else
    std::string text;
    std::uint32_t lastError = 0;
    if (error > 0 && FormatOsError(static_cast<std::uint32_t>(error), text, lastError)) {
        return text;
    }
#endif
    return "error " + std::to_string(error);
}

namespace {

// OpenRegularFile that also tells the errno value of a failed open (0 for a file that is
// not regular).
std::FILE* OpenRegular(const std::string& path, std::string& reason, int& openError) {
    openError = 0;
#ifdef _WIN32
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
#else
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        openError = errno;
        reason = SystemErrorText(openError);
        return nullptr;
    }
    FileStatus status{};
    if (::fstat(descriptor, &status) != 0) {
        reason = SystemErrorText(errno);
        ::close(descriptor);
        return nullptr;
    }
    if (!IsRegular(status)) {
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
#endif
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path, std::string& reason) {
    int openError = 0;
    return OpenRegular(path, reason, openError);
}

bool ExistsAndIsNotRegular(const std::string& path, std::string& reason) {
    FileStatus status{};
#ifdef _WIN32
    const int result = _stat64(path.c_str(), &status);
#else
    const int result = ::stat(path.c_str(), &status);
#endif
    if (result != 0 || IsRegular(status)) {
        return false;
    }
    reason = NotRegularReason(status);
    return true;
}

SmallFileRead ReadSmallRegularFile(const std::string& path, std::size_t limit, std::string& content,
                                   std::string& reason) {
    content.clear();
    int openError = 0;
    std::FILE* opened = OpenRegular(path, reason, openError);
    if (opened == nullptr) {
        return openError == ENOENT ? SmallFileRead::Missing : SmallFileRead::Failed;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(opened, &std::fclose);
    // One byte past the limit tells a file that is too large, whatever its size says.
    content.resize(limit + 1);
    const std::size_t read = std::fread(content.data(), 1, content.size(), file.get());
    if (std::ferror(file.get()) != 0) {
        reason = "cannot be read";
        content.clear();
        return SmallFileRead::Failed;
    }
    if (read > limit) {
        reason = "larger than " + std::to_string(limit) + " bytes";
        content.clear();
        return SmallFileRead::Failed;
    }
    content.resize(read);
    return SmallFileRead::Read;
}

namespace {

// Where the bytes go: the target of a symbolic link, so that the link stays a link.
std::filesystem::path ReplacedPath(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_symlink(path, error)) {
        const auto target = std::filesystem::canonical(path, error);
        if (!error) {
            return target;
        }
    }
    return path;
}

#ifdef _WIN32
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
#else
bool WriteAll(int descriptor, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool WriteNewFile(const std::filesystem::path& file, const void* data, std::size_t size,
                  mode_t mode, std::string& reason) {
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor < 0) {
        reason = SystemErrorText(errno);
        return false;
    }
    // Past a file-size limit the write must fail with EFBIG, not end the process.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    const bool written = WriteAll(descriptor, static_cast<const std::uint8_t*>(data), size) &&
                         ::fsync(descriptor) == 0;
    const int writeError = errno;
    ::sigaction(SIGXFSZ, &previous, nullptr);
    if (::close(descriptor) != 0 || !written) {
        reason = SystemErrorText(written ? errno : writeError);
        return false;
    }
    return true;
}
#endif

}  // namespace

bool WriteFileReplacing(const std::string& path, const void* data, std::size_t size,
                        std::string& reason, LinkAtPath link) {
    const std::filesystem::path target =
        link == LinkAtPath::WriteTarget ? ReplacedPath(path) : std::filesystem::path(path);
    std::filesystem::path temporary = target;
#ifdef _WIN32
    temporary += ".new" + std::to_string(_getpid());
    if (!WriteNewFile(temporary, data, size, reason)) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
#else
    temporary += ".new" + std::to_string(::getpid());
    FileStatus status{};
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
#endif
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        reason = error.message();
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

std::string PrintableName(std::string_view name) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string shown;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = ShowableSequence(name, i);
        if (length > 0) {
            shown.append(name.substr(i, length));
            i += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(name[i]);
        shown += "\\x";
        shown += kHexDigits[byte >> 4];
        shown += kHexDigits[byte & 0x0F];
        ++i;
    }
    return shown;
}

}  // namespace troz
