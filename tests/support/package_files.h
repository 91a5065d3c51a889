// Packages for tests, built with the writer and written to temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "update/package_writer.h"

namespace troz::test {

// A file under the test temp folder, removed at the end: at relativePath (a missing folder on
// the way is made, and removed with it), or else named after the running test.
class TempPackageFile {
public:
    explicit TempPackageFile(const std::vector<std::uint8_t>& bytes,
                             const std::string& relativePath = {});
    ~TempPackageFile();
    TempPackageFile(const TempPackageFile&) = delete;
    TempPackageFile& operator=(const TempPackageFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string folder_;
};

inline std::vector<std::uint8_t> BuildPackage(const PackageContents& contents) {
    std::vector<std::uint8_t> package;
    std::string error;
    EXPECT_TRUE(WritePackage(contents, package, error)) << error;
    return package;
}

// An image of blocks of the given sizes, each filled with fill (its first byte 0x02 so
// it may be scrambled).
inline PackageImage UniformImage(const std::vector<std::uint16_t>& sizes, std::uint8_t fill) {
    PackageImage image;
    for (const std::uint16_t size : sizes) {
        PackageBlock block(size, fill);
        block[0] = 0x02;
        image.push_back(std::move(block));
    }
    return image;
}

}  // namespace troz::test
