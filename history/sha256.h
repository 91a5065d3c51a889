// SHA-256, from the system's own cryptographic library (OpenSSL's libcrypto on Linux, the
// CryptoAPI on Windows): a package's digest is compared with the one its publisher gives
// and kept in the flash history.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace troz::history {

// Computes SHA-256 over data pieces given in order.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest as 64 lowercase hexadecimal digits; empty when the library failed.
    std::string HexDigest();

private:
    void* state_ = nullptr;
#ifdef _WIN32
    void* provider_ = nullptr;  // the CryptoAPI context the hash lives in
#endif
    bool failed_ = false;
};

// The digest of data.
std::string Sha256Hex(const void* data, std::size_t size);

struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;
};

// The size and digest of a regular file; none, with reason, when it cannot be read.
std::optional<FileDigest> DigestFile(const std::string& path, std::string& reason);

}  // namespace troz::history
