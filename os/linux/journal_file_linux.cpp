// The history's files on Linux: O_APPEND with one write() and fsync() for each record,
// rename() for compaction.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/journal_file.h"
#include "os/linux/whole_writes.h"
#include "os/user_files.h"

namespace troz {

namespace {

constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kPrivateFolder = 0700;

int OpenPrivate(const std::filesystem::path& path, int flags) {
    int descriptor = -1;
    do {
        descriptor = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, kPrivateFile);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

bool IsRegularFile(int descriptor, std::string& reason) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        reason = SystemErrorText(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    return true;
}

// A rename or a new file is on the disk only once its folder is.
void SyncFolder(const std::filesystem::path& folder) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
}

}  // namespace

bool MakePrivateFolder(const std::filesystem::path& folder, std::string& reason) {
    std::error_code error;
    std::filesystem::create_directories(folder.parent_path(), error);
    if (error) {
        reason = error.message();
        return false;
    }
    if (::mkdir(folder.c_str(), kPrivateFolder) != 0 && errno != EEXIST) {
        reason = SystemErrorText(errno);
        return false;
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        reason = SystemErrorText(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        reason = "not a folder";
        return false;
    }
    // A folder made by hand or by an older copy is closed to others now.
    if ((status.st_mode & 077) != 0 && status.st_uid == ::geteuid() &&
        ::chmod(folder.c_str(), kPrivateFolder) != 0) {
        reason = SystemErrorText(errno);
        return false;
    }
    return true;
}

bool AppendDurably(const std::filesystem::path& file, std::string_view text, std::string& reason) {
    const int descriptor = OpenPrivate(file, O_RDWR | O_APPEND | O_CREAT);
    if (descriptor < 0) {
        reason = SystemErrorText(errno);
        return false;
    }
    if (!IsRegularFile(descriptor, reason)) {
        ::close(descriptor);
        return false;
    }
    struct stat status {};
    ::fstat(descriptor, &status);
    std::string line;
    char last = '\n';
    if (status.st_size > 0 && ::pread(descriptor, &last, 1, status.st_size - 1) == 1 &&
        last != '\n') {
        line = "\n";
    }
    line.append(text);
    const platform::FileSizeSignalIgnored fileSizeSignal;
    bool written = platform::WriteAll(descriptor, line) && ::fsync(descriptor) == 0;
    const int writeError = errno;
    written = ::close(descriptor) == 0 && written;
    if (!written) {
        reason = SystemErrorText(writeError != 0 ? writeError : errno);
        return false;
    }
    if (status.st_size == 0) {
        SyncFolder(file.parent_path());
    }
    return true;
}

bool ReadTail(const std::filesystem::path& file, std::size_t limit, std::string& content,
              bool& truncated, std::string& reason) {
    content.clear();
    truncated = false;
    const int descriptor = OpenPrivate(file, O_RDONLY | O_NONBLOCK);
    if (descriptor < 0) {
        if (errno == ENOENT) {
            return true;
        }
        reason = SystemErrorText(errno);
        return false;
    }
    struct stat status {};
    if (!IsRegularFile(descriptor, reason) || ::fstat(descriptor, &status) != 0) {
        ::close(descriptor);
        return false;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    const std::size_t start = size > limit ? size - limit : 0;
    truncated = start > 0;
    content.resize(size - start);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = ::pread(descriptor, content.data() + done, content.size() - done,
                                    static_cast<off_t>(start + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // shorter than it was a moment ago: what was read is all there is
        }
        done += static_cast<std::size_t>(got);
    }
    content.resize(done);
    ::close(descriptor);
    return true;
}

bool ReplaceDurably(const std::filesystem::path& file, std::string_view content,
                    std::string& reason) {
    std::filesystem::path temporary = file;
    temporary += ".new" + std::to_string(::getpid());
    ::unlink(temporary.c_str());  // left by a run of the same process id that died
    const int descriptor = OpenPrivate(temporary, O_WRONLY | O_CREAT | O_EXCL);
    if (descriptor < 0) {
        reason = SystemErrorText(errno);
        return false;
    }
    const platform::FileSizeSignalIgnored fileSizeSignal;
    bool written = platform::WriteAll(descriptor, content) && ::fsync(descriptor) == 0;
    const int writeError = errno;
    written = ::close(descriptor) == 0 && written;
    if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) {
        reason = SystemErrorText(written ? errno : writeError);
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(file.parent_path());
    return true;
}

}  // namespace troz
