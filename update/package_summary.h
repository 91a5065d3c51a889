// A look at a package the way the tool reads it: header fields, images, model records,
// checksums, and every reason why the Open step or Start would not take it. Reads one
// block or one scan window at a time, like the tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/model_record.h"
#include "update/package_format.h"

namespace troz {

struct PackageFinding {
    std::string step;    // "Open" or "Start": which step of the tool would stop
    std::string line;    // the line the tool logs, empty where it stops without one
    std::string reason;  // what is wrong, in words
};

struct ImageInspection {
    std::int32_t index = 0;
    std::uint32_t position = 0;
    std::vector<std::uint16_t> blockSizes;   // the first block count entries
    std::optional<std::uint16_t> expected;   // none without a checksum table entry
    std::optional<std::uint16_t> computed;   // none when the blocks were not read in full
    std::uint32_t windowBytes = 0;           // readable bytes of the scan window
    std::optional<ModelRecord> modelRecord;  // as the Open step finds it
    std::vector<PackageFinding> findings;
};

struct PackageInspection {
    std::size_t headerBytesRead = 0;
    PackageHeader header;
    bool extensionMatches = false;
    std::vector<ImageInspection> images;
    std::size_t imagesNotListed = 0;       // images past the listing limit
    std::vector<PackageFinding> findings;  // about the package as a whole
};

// How many images of a multi-image package are listed at most.
constexpr std::size_t kInspectedImageLimit = 16;

// False with one line in error when the file cannot be opened or no buffer can be had.
bool InspectPackage(const std::string& path, PackageInspection& inspection, std::string& error);

// True when the tool would take this image: no finding about it or about the package.
bool ImageAccepted(const PackageInspection& inspection, const ImageInspection& image);

}  // namespace troz
