// The history's files on Windows: LockFileEx for the locks, a handle that may only append
// with one WriteFile and FlushFileBuffers for each record, MoveFileExW for compaction. The
// files live under %LOCALAPPDATA%, which only its user (and the administrators) can open.
#include <windows.h>

#include <thread>

#include "history/journal_file.h"

namespace troz::history {

namespace {

constexpr auto kLockRetry = std::chrono::milliseconds(5);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string ErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length)
                                                        : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

bool TryLock(HANDLE handle, DWORD flags) {
    OVERLAPPED whole{};
    return LockFileEx(handle, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole) !=
           FALSE;
}

// A folder opens too, and is a "disk" file to GetFileType.
bool IsRegularFile(HANDLE handle, std::string& reason) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = "not a regular file";
        return false;
    }
    return true;
}

bool WriteWhole(HANDLE handle, std::string_view text) {
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written == 0) {
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

}  // namespace

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

FileLock::~FileLock() {
    Release();
}

void FileLock::Release() {
    if (handle_ != nullptr) {
        OVERLAPPED whole{};
        UnlockFileEx(handle_, 0, MAXDWORD, MAXDWORD, &whole);
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}

bool FileLock::Held() const {
    return handle_ != nullptr;
}

FileLock FileLock::Take(const std::filesystem::path& path, std::chrono::milliseconds patience,
                        std::string& reason) {
    FileLock lock;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = ErrorText(GetLastError());
        return lock;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (TryLock(handle, LOCKFILE_EXCLUSIVE_LOCK)) {
            lock.handle_ = handle;
            return lock;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            reason = ErrorText(error);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            reason = "held by another process";
            break;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    CloseHandle(handle);
    return lock;
}

bool LockIsHeld(const std::filesystem::path& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool held = false;
    if (TryLock(handle, 0)) {
        OVERLAPPED whole{};
        UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
    } else {
        held = GetLastError() == ERROR_LOCK_VIOLATION;
    }
    CloseHandle(handle);
    return held;
}

bool MakePrivateFolder(const std::filesystem::path& folder, std::string& reason) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        reason = error.message();
        return false;
    }
    if (!std::filesystem::is_directory(folder, error)) {
        reason = "not a folder";
        return false;
    }
    return true;
}

bool AppendDurably(const std::filesystem::path& file, std::string_view text, std::string& reason) {
    // Without FILE_WRITE_DATA every write of this handle goes to the end of the file.
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | FILE_APPEND_DATA, kShareAll, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = ErrorText(GetLastError());
        return false;
    }
    if (!IsRegularFile(handle, reason)) {
        CloseHandle(handle);
        return false;
    }
    std::string line;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handle, &size) && size.QuadPart > 0) {
        OVERLAPPED at{};
        const auto lastByte = static_cast<ULONGLONG>(size.QuadPart - 1);
        at.Offset = static_cast<DWORD>(lastByte & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(lastByte >> 32);
        char last = '\n';
        DWORD read = 0;
        if (ReadFile(handle, &last, 1, &read, &at) && read == 1 && last != '\n') {
            line = "\n";
        }
    }
    line.append(text);
    const bool written = WriteWhole(handle, line) && FlushFileBuffers(handle);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!written) {
        reason = ErrorText(error);
    }
    return written;
}

bool ReadTail(const std::filesystem::path& file, std::size_t limit, std::string& content,
              bool& truncated, std::string& reason) {
    content.clear();
    truncated = false;
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return true;
        }
        reason = ErrorText(error);
        return false;
    }
    LARGE_INTEGER size{};
    if (!IsRegularFile(handle, reason) || !GetFileSizeEx(handle, &size)) {
        CloseHandle(handle);
        return false;
    }
    const auto whole = static_cast<ULONGLONG>(size.QuadPart);
    const ULONGLONG start = whole > limit ? whole - limit : 0;
    truncated = start > 0;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(start);
    SetFilePointerEx(handle, at, nullptr, FILE_BEGIN);
    content.resize(static_cast<std::size_t>(whole - start));
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        if (!ReadFile(handle, content.data() + done, static_cast<DWORD>(content.size() - done),
                      &got, nullptr) ||
            got == 0) {
            break;
        }
        done += got;
    }
    content.resize(done);
    CloseHandle(handle);
    return true;
}

bool ReplaceDurably(const std::filesystem::path& file, std::string_view content,
                    std::string& reason) {
    std::filesystem::path temporary = file;
    temporary += ".new" + std::to_string(GetCurrentProcessId());
    HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = ErrorText(GetLastError());
        return false;
    }
    const bool written = WriteWhole(handle, content) && FlushFileBuffers(handle);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!written || !MoveFileExW(temporary.c_str(), file.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = ErrorText(written ? GetLastError() : error);
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace troz::history
