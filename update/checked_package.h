// A package as Start checked it, held open from the check to the last block: the flash
// procedures read the blocks they send through the same open file, and each block must be
// the block that was checked. A file replaced, cut or rewritten since the check stops the
// update before the drive is asked to program anything.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "os/file_stamp.h"
#include "update/package_format.h"
#include "update/package_stream.h"

namespace troz {

constexpr const char* kPackageChanged = "Err:The firmware file changed during the update!!";
// The file the name gives at Start is not the file the Open step examined (another file was
// put in its place, or it was written to since).
constexpr const char* kPackageChangedSinceOpen =
    "Err:The firmware file changed after it was opened, open it again!!";

struct CheckedPackage {
    std::string path;
    // Shared with the Open step, which holds the file from the moment it examined it.
    std::shared_ptr<PackageStream> stream;
    // The file as it was when the check opened it.
    FileStamp stamp;
    // The picked image's 16-bit sum, and a digest of each of its blocks, as checked
    // (descrambled, as they go to the drive).
    std::uint16_t sum = 0;
    std::array<std::uint64_t, kBlockSizeTableEntries> blockDigests{};

    bool IsOpen() const { return stream && stream->IsOpen(); }
    // True while path still names the file that was checked, and that file's size and
    // modification time are those of the check.
    bool Unchanged() const;
};

// A 64-bit digest of a block (FNV-1a): unlike the 16-bit sum, it changes when bytes of
// the block are swapped or changed in ways that keep the sum.
std::uint64_t BlockDigest(const std::uint8_t* block, std::size_t length);

}  // namespace troz
