#include "history/sha256.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "os/user_files.h"

namespace troz::history {

namespace {

constexpr std::size_t kReadPiece = 64 * 1024;

}  // namespace

std::string Sha256Hex(const void* data, std::size_t size) {
    Sha256 digest;
    digest.Add(data, size);
    return digest.HexDigest();
}

std::optional<FileDigest> DigestFile(const std::string& path, std::string& reason) {
    std::FILE* opened = OpenRegularFile(path, reason);
    if (opened == nullptr) {
        return std::nullopt;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(opened, &std::fclose);
    Sha256 digest;
    FileDigest result;
    std::vector<unsigned char> piece(kReadPiece);
    for (;;) {
        const std::size_t read = std::fread(piece.data(), 1, piece.size(), file.get());
        digest.Add(piece.data(), read);
        result.size += read;
        if (read < piece.size()) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0) {
        reason = "cannot be read";
        return std::nullopt;
    }
    result.sha256 = digest.HexDigest();
    if (result.sha256.empty()) {
        reason = "the system's SHA-256 failed";
        return std::nullopt;
    }
    return result;
}

}  // namespace troz::history
