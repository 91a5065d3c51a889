// SHA-256 through the CryptoAPI: the AES provider is the one that knows CALG_SHA_256
// (Windows XP SP3 and later).
#include <windows.h>
// wincrypt.h needs the types of windows.h first.
#include <wincrypt.h>

#include "history/sha256.h"

namespace troz::history {

Sha256::Sha256() {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        failed_ = true;
        return;
    }
    provider_ = reinterpret_cast<void*>(provider);
    if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        failed_ = true;
        return;
    }
    state_ = reinterpret_cast<void*>(hash);
}

Sha256::~Sha256() {
    if (state_ != nullptr) {
        CryptDestroyHash(reinterpret_cast<HCRYPTHASH>(state_));
    }
    if (provider_ != nullptr) {
        CryptReleaseContext(reinterpret_cast<HCRYPTPROV>(provider_), 0);
    }
}

void Sha256::Add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    while (!failed_ && size > 0) {
        const DWORD piece = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
        if (!CryptHashData(reinterpret_cast<HCRYPTHASH>(state_), bytes, piece, 0)) {
            failed_ = true;
        }
        bytes += piece;
        size -= piece;
    }
}

std::string Sha256::HexDigest() {
    BYTE digest[32];
    DWORD length = sizeof digest;
    if (failed_ ||
        !CryptGetHashParam(reinterpret_cast<HCRYPTHASH>(state_), HP_HASHVAL, digest, &length, 0)) {
        failed_ = true;
        return {};
    }
    failed_ = true;  // finished: a second call has nothing to give
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < length; ++i) {
        hex += kHexDigits[digest[i] >> 4];
        hex += kHexDigits[digest[i] & 0x0F];
    }
    return hex;
}

}  // namespace troz::history
