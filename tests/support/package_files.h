// Packages for tests, built with the writer and written to temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "update/package_writer.h"

namespace troz::test {

// A file under the test temp folder, named after the running test, removed at the end.
class TempPackageFile {
public:
    explicit TempPackageFile(const std::vector<std::uint8_t>& bytes,
                             const std::string& suffix = ".tfs") {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        path_ = ::testing::TempDir() + "troz_" + name + "_" + std::to_string(counter_++) + suffix;
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        if (file != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
    }
    ~TempPackageFile() { std::remove(path_.c_str()); }
    TempPackageFile(const TempPackageFile&) = delete;
    TempPackageFile& operator=(const TempPackageFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::string path_;
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
