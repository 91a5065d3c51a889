// The history's files on Windows: a handle that may only append
// with one WriteFile and FlushFileBuffers for each record, MoveFileExW for compaction. The
// files live under %LOCALAPPDATA%, which only its user (and the administrators) can open.
#include <windows.h>

#include "os/journal_file.h"
#include "os/os_errors.h"

namespace troz {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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
        reason = OsErrorText(GetLastError());
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
        reason = OsErrorText(error);
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
        reason = OsErrorText(error);
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
        reason = OsErrorText(GetLastError());
        return false;
    }
    const bool written = WriteWhole(handle, content) && FlushFileBuffers(handle);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!written || !MoveFileExW(temporary.c_str(), file.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = OsErrorText(written ? GetLastError() : error);
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace troz
