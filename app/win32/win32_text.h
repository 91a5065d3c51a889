// Texts between the program's bytes and the window's UTF-16.
#pragma once

#include <string>

namespace troz::win32 {

// Byte for character, as the Qt window shows the drives' own bytes: the text gives back
// exactly the bytes it came from.
std::wstring FromLatin1(const std::string& bytes);
std::string ToLatin1(const std::wstring& text);
// The system's ANSI code page: what the C library's file calls take and the system's error
// texts come in.
std::wstring FromAnsi(const std::string& text);
std::string ToAnsi(const std::wstring& text);
// A path the ANSI file calls can open: the path itself, or its short form when a character
// of it has no place in the code page. Empty when neither serves.
std::string AnsiPath(const std::wstring& path);

}  // namespace troz::win32
