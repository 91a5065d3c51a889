#include "os/user_files.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>

#include "os/process_id.h"
#include "os/user_files_platform.h"

namespace troz {

namespace {

// The longest valid UTF-8 sequence.
constexpr std::size_t kLongestSequence = 4;

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

}  // namespace

std::FILE* OpenRegularFile(const std::string& path, std::string& reason) {
    int openError = 0;
    return platform::OpenRegular(path, reason, openError);
}

SmallFileRead ReadSmallRegularFile(const std::string& path, std::size_t limit, std::string& content,
                                   std::string& reason) {
    content.clear();
    int openError = 0;
    std::FILE* opened = platform::OpenRegular(path, reason, openError);
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

bool WriteFileReplacing(const std::string& path, const void* data, std::size_t size,
                        std::string& reason, LinkAtPath link) {
    const std::filesystem::path target =
        link == LinkAtPath::WriteTarget ? ReplacedPath(path) : std::filesystem::path(path);
    std::filesystem::path temporary = target;
    temporary += ".new" + std::to_string(CurrentProcessId());
    if (!platform::WriteReplacement(temporary, target, data, size, reason)) {
        return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        reason = error.message();
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

namespace {

// text with each byte that showable does not take as \xHH.
template <typename Showable>
std::string Escaped(std::string_view text, Showable showable) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = showable(text, i);
        if (length > 0) {
            shown.append(text.substr(i, length));
            i += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        shown += "\\x";
        shown += kHexDigits[byte >> 4];
        shown += kHexDigits[byte & 0x0F];
        ++i;
    }
    return shown;
}

}  // namespace

std::string PrintableName(std::string_view name) {
    return Escaped(name, ShowableSequence);
}

std::string PrintableBytes(std::string_view bytes) {
    return Escaped(bytes, [](std::string_view text, std::size_t i) -> std::size_t {
        const auto byte = static_cast<unsigned char>(text[i]);
        return byte >= 0x20 && byte < 0x7F && byte != '\\' ? 1 : 0;
    });
}

}  // namespace troz
