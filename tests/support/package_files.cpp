#include "tests/support/package_files.h"

#include <cstdio>
#include <filesystem>

namespace troz::test {

namespace {

std::string TestNamedPath() {
    static int counter = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return "troz_" + name + "_" + std::to_string(counter++) + ".tfs";
}

}  // namespace

TempPackageFile::TempPackageFile(const std::vector<std::uint8_t>& bytes,
                                 const std::string& relativePath)
    : path_(::testing::TempDir() + (relativePath.empty() ? TestNamedPath() : relativePath)) {
    const std::filesystem::path path(path_);
    if (path.has_parent_path() && !std::filesystem::exists(path.parent_path())) {
        folder_ = path.parent_path().string();
        std::filesystem::create_directories(folder_);
    }
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

TempPackageFile::~TempPackageFile() {
    std::remove(path_.c_str());
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(folder_, ignored);
    }
}

}  // namespace troz::test
