// libFuzzer target over everything that reads a package: header fields, the refusal check,
// ValidatePackage and the inspection on a file, the model record scan and Descramble.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "update/line_window.h"
#include "update/model_record.h"
#include "update/package_format.h"
#include "update/package_summary.h"
#include "update/validate_package.h"

namespace {

// One file per fuzzing process, removed at exit (the name outlives static destruction).
const std::string& PackagePath() {
    static const std::string* const path = [] {
        auto* name = new std::string("/tmp/troz_package_fuzz_" + std::to_string(getpid()) + ".tfs");
        std::atexit([] { std::remove(PackagePath().c_str()); });
        return name;
    }();
    return *path;
}

bool WriteInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(PackagePath().c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

void ExerciseHeader(const troz::PackageHeader& header) {
    for (const std::int32_t imageIndex : {-1, 0, 1, 5, 6, 0x7FFFFFFF}) {
        if (!troz::PackageRefusal(header, imageIndex)) {
            (void)troz::ImagePosition(header, imageIndex);
            (void)troz::ExpectedChecksum(header, imageIndex);
        }
    }
    for (int i = -1; i <= troz::kBlockSizeTableEntries; ++i) {
        (void)header.BlockSize(i);
        (void)header.ImageChecksum(i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    troz::PackageHeader header;
    std::copy_n(data, std::min(size, troz::kPackageHeaderSize), header.RawBytes().begin());
    ExerciseHeader(header);

    std::vector<std::uint8_t> scanWindow(data, data + size);
    (void)troz::FindModelRecord(scanWindow.data(), scanWindow.size());
    troz::Descramble(scanWindow.data(), static_cast<std::uint32_t>(scanWindow.size()));
    (void)troz::FindModelRecord(scanWindow.data(), scanWindow.size());

    if (!WriteInput(data, size)) {
        return 0;
    }
    troz::PackageState state;
    state.imageIndex = size > 0 ? static_cast<std::int8_t>(data[size - 1]) : 0;
    troz::PackageHeader headerCopy;
    troz::LineWindow window;
    (void)troz::ValidatePackage(PackagePath(), headerCopy, state, window);
    troz::PackageInspection inspection;
    std::string error;
    (void)troz::InspectPackage(PackagePath(), inspection, error);
    return 0;
}
