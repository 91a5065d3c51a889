#include "update/checked_package.h"

namespace troz {

bool CheckedPackage::Unchanged() const {
    FileStamp open;
    FileStamp named;
    return IsOpen() && stream->Stamp(open) && open == stamp && StampOfPath(path, named) &&
           named == stamp;
}

std::uint64_t BlockDigest(const std::uint8_t* block, std::size_t length) {
    constexpr std::uint64_t kOffsetBasis = 0xCBF29CE484222325ULL;
    constexpr std::uint64_t kPrime = 0x100000001B3ULL;
    std::uint64_t digest = kOffsetBasis;
    for (std::size_t i = 0; i < length; ++i) {
        digest = (digest ^ block[i]) * kPrime;
    }
    return digest;
}

}  // namespace troz
