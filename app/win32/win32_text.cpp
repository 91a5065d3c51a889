#include "app/win32/win32_text.h"

#include <vector>

#include "app/win32/win32_window_api.h"

namespace troz::win32 {

std::wstring FromLatin1(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    return text;
}

std::string ToLatin1(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t character : text) {
        bytes += character <= 0xFF ? static_cast<char>(character) : '?';
    }
    return bytes;
}

std::wstring FromAnsi(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        return FromLatin1(text);
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

namespace {

std::string Narrowed(const std::wstring& text, bool& lossy) {
    lossy = false;
    if (text.empty()) {
        return {};
    }
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, &usedDefault);
    if (length <= 0) {
        lossy = true;
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, &usedDefault);
    lossy = usedDefault != FALSE;
    return narrow;
}

}  // namespace

std::string ToAnsi(const std::wstring& text) {
    bool lossy = false;
    return Narrowed(text, lossy);
}

std::string AnsiPath(const std::wstring& path) {
    bool lossy = false;
    std::string narrow = Narrowed(path, lossy);
    if (!lossy) {
        return narrow;
    }
    const DWORD length = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (length == 0) {
        return {};
    }
    std::vector<wchar_t> shortPath(length, L'\0');
    if (GetShortPathNameW(path.c_str(), shortPath.data(), length) == 0) {
        return {};
    }
    narrow = Narrowed(shortPath.data(), lossy);
    return lossy ? std::string() : narrow;
}

}  // namespace troz::win32
