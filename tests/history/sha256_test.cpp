// SHA-256 from the system's library: the NIST examples, in one piece and in many.
#include "history/sha256.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace troz::history {
namespace {

TEST(Sha256, GivesTheNistDigests) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& check : cases) {
        EXPECT_EQ(Sha256Hex(check.message.data(), check.message.size()), check.digest)
            << check.message.size() << " bytes";
        // The same message given in uneven pieces.
        Sha256 pieces;
        for (std::size_t at = 0, piece = 1; at < check.message.size(); at += piece, piece += 7) {
            pieces.Add(check.message.data() + at, std::min(piece, check.message.size() - at));
        }
        EXPECT_EQ(pieces.HexDigest(), check.digest);
    }
}

TEST(Sha256, OfAFileGivesItsSizeAndDigestOrWhyNot) {
    const auto file = std::filesystem::temp_directory_path() / "troz-sha256-abc.bin";
    std::ofstream(file, std::ios::binary) << "abc";
    std::string reason;
    const auto digest = DigestFile(file.string(), reason);
    std::filesystem::remove(file);
    ASSERT_TRUE(digest.has_value()) << reason;
    EXPECT_EQ(digest->size, 3u);
    EXPECT_EQ(digest->sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(DigestFile(file.string(), reason).has_value());
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(DigestFile(std::filesystem::temp_directory_path().string(), reason).has_value());
}

}  // namespace
}  // namespace troz::history
