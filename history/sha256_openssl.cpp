// SHA-256 through libcrypto's EVP interface.
#include <openssl/evp.h>

#include "history/sha256.h"

namespace troz::history {

Sha256::Sha256() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        failed_ = true;
    }
    state_ = context;
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state_));
}

void Sha256::Add(const void* data, std::size_t size) {
    if (!failed_ && size > 0 &&
        EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(state_), data, size) != 1) {
        failed_ = true;
    }
}

std::string Sha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (failed_ || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(state_), digest, &length) != 1) {
        failed_ = true;
        return {};
    }
    failed_ = true;  // finished: a second call has nothing to give
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHexDigits[digest[i] >> 4];
        hex += kHexDigits[digest[i] & 0x0F];
    }
    return hex;
}

}  // namespace troz::history
