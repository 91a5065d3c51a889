// The file operations the flash history is built on, one implementation per system. Every
// file they make is private to its user (folder 0700, files 0600 on Linux; on Windows the
// per-user %LOCALAPPDATA% already is).
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "os/file_lock.h"

namespace troz {

// Creates folder (with its parents) and makes it private to its user when it is not.
bool MakePrivateFolder(const std::filesystem::path& folder, std::string& reason);

// Appends text (one or more whole lines, each ending in '\n') to the file, created when
// missing, as one write, flushed to the disk before it returns. When the file does not end
// in a line break (a write cut short by a power cut), one goes first, so the torn line
// stays a line of its own that readers skip and the new one is whole.
bool AppendDurably(const std::filesystem::path& file, std::string_view text, std::string& reason);

// The last limit bytes of the file at most (all of it when smaller); truncated tells that
// there was more before them. A missing file reads as empty.
bool ReadTail(const std::filesystem::path& file, std::size_t limit, std::string& content,
              bool& truncated, std::string& reason);

// Replaces the file with content: written to a private file beside it, flushed, renamed
// over it. A cut at any point leaves the old file or the new one, whole.
bool ReplaceDurably(const std::filesystem::path& file, std::string_view content,
                    std::string& reason);

}  // namespace troz
