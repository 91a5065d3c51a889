// Files the user or the environment names: packages, image files, the virtual drives' state
// file. Only regular files are read: a FIFO blocks the first read for ever, a device such as
// /dev/zero never ends, and a directory cannot be read at all, so each of these is refused
// before a byte is read. Names go into one-line messages, the log and JSON with their
// control characters escaped.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace troz {

// Opens path for reading as raw bytes when it is a regular file (symbolic links followed).
// Null on failure, with reason set to the system's text ("No such file or directory") or
// to "not a regular file (a FIFO)" and the like. A FIFO cannot hang the open: it is opened
// without waiting for a writer and looked at before anything is read.
std::FILE* OpenRegularFile(const std::string& path, std::string& reason);

// True when path names something that exists and is not a regular file (symbolic links
// followed), with the same reason text as OpenRegularFile.
bool ExistsAndIsNotRegular(const std::string& path, std::string& reason);

enum class SmallFileRead { Read, Missing, Failed };

// Reads a whole regular file of at most limit bytes into content. Missing when nothing
// exists at path; Failed, with reason, for anything else that is not such a file (a
// directory, a device, a file too large, a read error).
SmallFileRead ReadSmallRegularFile(const std::string& path, std::size_t limit, std::string& content,
                                   std::string& reason);

// What a symbolic link at the path of a file that is replaced stands for.
enum class LinkAtPath {
    WriteTarget,  // the user's way of naming the file: the file it points to is replaced
    ReplaceLink,  // not ours to follow: the link itself gives way to the new file
};

// Replaces the file at path (by default the file a symbolic link there points to) with size
// bytes of data, so that it holds either its old content or all of the new: the bytes go to
// a new file in the same folder, are flushed to the disk, and that file is renamed over the
// target. On failure, reason names what went wrong and the old file is untouched. A file
// that is replaced keeps its permissions; a new one gets the usual ones (umask applied).
bool WriteFileReplacing(const std::string& path, const void* data, std::size_t size,
                        std::string& reason, LinkAtPath link = LinkAtPath::WriteTarget);

// The system's text for an errno value, untranslated, or "error N".
std::string SystemErrorText(int error);

// name as it may be shown on one line: control characters (C0, DEL, C1) and bytes that are
// not UTF-8 become \xHH, so a name holding a line break cannot start a line of its own.
// Backslashes stay as they are: they separate the folders of a Windows path.
std::string PrintableName(std::string_view name);

// bytes that need not be text (a package's target, its model code) as they may be shown:
// everything outside printable ASCII, and the backslash that would read as an escape,
// becomes \xHH.
std::string PrintableBytes(std::string_view bytes);

}  // namespace troz
