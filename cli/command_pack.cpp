#include "cli/command_pack.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "os/user_files.h"
#include "update/model_record.h"
#include "update/package_format.h"
#include "update/package_summary.h"
#include "update/package_writer.h"

namespace troz::cli {

namespace {

constexpr std::size_t kModelCodeDigits = 4;
constexpr std::uint32_t kLargestMultiImage = 0xFFFF;
// The last signature offset whose whole model record fits in the image's first 65535 bytes.
constexpr long long kLastRecordOffset =
    kWorkingBufferSize - kModelRecordDistance - kModelRecordSize;

constexpr const char* kPackFooter = R"(
Each image file is one firmware image; its model record (the INQUIRY-shaped block that names
the drive model) must lie at image offset 64 or later within its first 65535 bytes, and in a
scrambled package inside block 0. Without --block-sizes an image is cut into blocks of 65533
bytes, the last one shorter. In a scrambled package every block must start with 0x02.
--vendor, --product, --revision and --model-code write a model record into each image at
--record-offset; give one value for all images or one per image, separated by commas.

Examples:
  trozflash-cli pack -o kvw-a100a.tfs --scrambled --image fw.bin \
      --block-sizes 16384,16384,16384,16384
  trozflash-cli pack -o family.tfs --multi --image a100.bin --image b200.bin
  trozflash-cli pack -o demo.tfs --scrambled --generate 1 --block-sizes 16384,16384,16384,16384 \
      --vendor TROZ --product KVW-A100A --revision 1.10 --model-code 4131)";

struct PackOptions {
    std::string output;
    bool multiImage = false;
    bool scrambled = false;
    std::vector<std::string> imageFiles;
    std::size_t generateCount = 0;
    std::vector<std::uint32_t> blockSizes;
    std::vector<std::string> vendors, products, revisions, modelCodes;
    std::size_t recordOffset = kModelRecordScanStart;
};

bool ReadImageFile(const std::string& path, std::uint32_t largest, std::vector<std::uint8_t>& image,
                   std::string& error) {
    std::string content, reason;
    if (ReadSmallRegularFile(path, largest, content, reason) != SmallFileRead::Read) {
        error = "cannot read image file " + PrintableName(path) + ": " + reason;
        return false;
    }
    image.assign(content.begin(), content.end());
    return true;
}

bool ParseModelCode(const std::string& text, std::array<std::uint8_t, 2>& code) {
    if (text.size() != kModelCodeDigits ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return false;
    }
    const unsigned long value = std::stoul(text, nullptr, 16);
    code = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return true;
}

// One value for every image, or one per image.
bool PickValue(const std::vector<std::string>& values, std::size_t image, std::size_t imageCount,
               const char* option, std::string& value, std::string& error) {
    if (values.size() != 1 && values.size() != imageCount) {
        error = std::string(option) + " takes one value for all images or one per image (" +
                std::to_string(imageCount) + ")";
        return false;
    }
    value = values.size() == 1 ? values[0] : values[image];
    return true;
}

bool RecordFields(const PackOptions& options, std::size_t image, std::size_t imageCount,
                  ModelRecordFields& fields, std::string& error) {
    std::string code;
    if (!PickValue(options.vendors, image, imageCount, "--vendor", fields.vendor, error) ||
        !PickValue(options.products, image, imageCount, "--product", fields.product, error) ||
        !PickValue(options.revisions, image, imageCount, "--revision", fields.revision, error) ||
        !PickValue(options.modelCodes, image, imageCount, "--model-code", code, error)) {
        return false;
    }
    if (!ParseModelCode(code, fields.modelCode)) {
        error = "--model-code " + code + " is not 4 hexadecimal digits (e.g. 4131 for 'A','1')";
        return false;
    }
    return true;
}

bool CheckOptions(const PackOptions& options, std::string& error) {
    if (options.imageFiles.empty() == (options.generateCount == 0)) {
        error = "give the images with --image FILE, or --generate COUNT, not both";
        return false;
    }
    // Counted before anything is read or generated.
    const std::size_t imageCount = options.imageFiles.size() + options.generateCount;
    const std::size_t mostImages = options.multiImage ? kImageChecksumEntries : 1;
    if (imageCount > mostImages) {
        error = options.multiImage ? "a multi-image package holds at most 6 images, not " +
                                         std::to_string(imageCount)
                                   : "a single-image package holds one image, not " +
                                         std::to_string(imageCount) + " (--multi packs up to 6)";
        return false;
    }
    const std::size_t given = !options.vendors.empty() + !options.products.empty() +
                              !options.revisions.empty() + !options.modelCodes.empty();
    if (given != 0 && given != 4) {
        error = "a model record needs all of --vendor, --product, --revision and --model-code";
        return false;
    }
    if (options.generateCount > 0 && (given == 0 || options.blockSizes.empty())) {
        error =
            "--generate needs --block-sizes and a model record (--vendor, --product, "
            "--revision, --model-code)";
        return false;
    }
    for (const std::uint32_t size : options.blockSizes) {
        if (size == 0 || size > kLargestBlockSize) {
            error = "--block-sizes: " + std::to_string(size) + " is not a block size (1 to " +
                    std::to_string(kLargestBlockSize) + ")";
            return false;
        }
    }
    if (options.blockSizes.size() > static_cast<std::size_t>(kBlockSizeTableEntries)) {
        error = "--block-sizes: an image has at most 8 blocks";
        return false;
    }
    return true;
}

bool LoadImages(const PackOptions& options, std::vector<std::vector<std::uint8_t>>& images,
                std::string& error) {
    const std::vector<std::uint16_t> sizes(options.blockSizes.begin(), options.blockSizes.end());
    for (std::size_t k = 0; k < options.generateCount; ++k) {
        images.push_back(MakeFillerImage(sizes, static_cast<std::uint32_t>(k + 1)));
    }
    const std::uint32_t largest =
        options.multiImage ? kLargestMultiImage : kLargestBlockSize * kBlockSizeTableEntries;
    for (const std::string& path : options.imageFiles) {
        images.emplace_back();
        if (!ReadImageFile(path, largest, images.back(), error)) {
            return false;
        }
        if (images.back().empty()) {
            error = "image file " + path + " is empty";
            return false;
        }
    }
    return true;
}

bool PlaceRecords(const PackOptions& options, const std::vector<std::uint16_t>& blockSizes,
                  std::vector<std::vector<std::uint8_t>>& images, std::string& error) {
    if (options.modelCodes.empty()) {
        return true;
    }
    const std::size_t recordEnd = options.recordOffset + kModelRecordDistance + kModelRecordSize;
    if (options.recordOffset > kWorkingBufferSize) {
        error = "--record-offset " + std::to_string(options.recordOffset) +
                " lies past the image's first 65535 bytes";
        return false;
    }
    if (options.scrambled && (blockSizes.empty() || recordEnd > blockSizes[0])) {
        error = "in a scrambled package the model record must lie inside block 0; at offset " +
                std::to_string(options.recordOffset) + " it needs a block 0 of at least " +
                std::to_string(recordEnd) + " bytes";
        return false;
    }
    for (std::size_t k = 0; k < images.size(); ++k) {
        ModelRecordFields fields;
        if (!RecordFields(options, k, images.size(), fields, error) ||
            !PlaceModelRecord(images[k], options.recordOffset, fields, error)) {
            return false;
        }
    }
    return true;
}

bool BuildPackage(const PackOptions& options, std::vector<std::uint8_t>& package,
                  std::string& error) {
    std::vector<std::vector<std::uint8_t>> images;
    if (!CheckOptions(options, error) || !LoadImages(options, images, error)) {
        return false;
    }
    std::vector<std::uint16_t> blockSizes(options.blockSizes.begin(), options.blockSizes.end());
    if (blockSizes.empty()) {
        blockSizes = DefaultBlockSizes(images[0].size());
    }
    if (!PlaceRecords(options, blockSizes, images, error)) {
        return false;
    }
    PackageContents contents{options.multiImage, options.scrambled, {}};
    for (std::size_t k = 0; k < images.size(); ++k) {
        contents.images.emplace_back();
        if (!SplitImage(images[k], blockSizes, contents.images.back(), error)) {
            error = "image " + std::to_string(k) + ": " + error;
            return false;
        }
    }
    return WritePackage(contents, package, error);
}

// The output must be a new or regular file that is none of the image files, also not
// through another name or a symbolic link: packing overwrote its own input once.
bool CheckOutput(const PackOptions& options, std::string& error) {
    std::string reason;
    if (ExistsAndIsNotRegular(options.output, reason)) {
        error = "cannot write " + PrintableName(options.output) + ": " + reason;
        return false;
    }
    for (const std::string& image : options.imageFiles) {
        std::error_code code;
        if (std::filesystem::equivalent(options.output, image, code)) {
            error = "the output " + PrintableName(options.output) + " is the image file " +
                    PrintableName(image) + "; choose another output";
            return false;
        }
    }
    return true;
}

// Written aside and renamed over the old file: a write that fails half-way (a full disk,
// a file-size limit) leaves the old package as it was.
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
               std::string& error) {
    std::string reason;
    if (!WriteFileReplacing(path, bytes.data(), bytes.size(), reason)) {
        error = "cannot write " + PrintableName(path) + ": " + reason;
        return false;
    }
    return true;
}

// What the tool would say about the new file, read back the way the tool reads it.
void WarnAboutFindings(const std::string& path) {
    PackageInspection inspection;
    std::string error;
    if (!InspectPackage(path, inspection, error)) {
        return;
    }
    for (const PackageFinding& finding : inspection.findings) {
        std::cerr << "pack: warning: " << finding.reason << '\n';
    }
    for (const ImageInspection& image : inspection.images) {
        for (const PackageFinding& finding : image.findings) {
            std::cerr << "pack: warning: image " << image.index << ": " << finding.reason << '\n';
        }
    }
}

void RunPack(const PackOptions& options, int& exitStatus) {
    std::vector<std::uint8_t> package;
    std::string error;
    if (!CheckOutput(options, error) || !BuildPackage(options, package, error) ||
        !WriteFile(options.output, package, error)) {
        std::cerr << "pack: " << error << '\n';
        exitStatus = kExitFailed;
        return;
    }
    std::cout << "Wrote " << PrintableName(options.output) << ": " << package.size() << " bytes, "
              << (options.multiImage ? "multi-image" : "single-image") << ", "
              << (options.scrambled ? "scrambled" : "plain") << '\n';
    WarnAboutFindings(options.output);
    exitStatus = kExitOk;
}

}  // namespace

void RegisterPackCommand(CLI::App& app, int& exitStatus) {
    auto* command = app.add_subcommand(
        "pack",
        "Build a firmware package (.tfs) from firmware image files, filling in the "
        "header, block sizes and checksums");
    command->footer(kPackFooter);
    auto options = std::make_shared<PackOptions>();
    command->add_option("-o,--output", options->output, "The package file to write")->required();
    command->add_flag("--multi", options->multiImage,
                      "Multi-image package (format 16): up to 6 images, one per drive model");
    command->add_flag("--scrambled", options->scrambled,
                      "Store every block scrambled (scramble flag 1)");
    command->add_option("--image", options->imageFiles,
                        "A firmware image file; repeat for each image of a multi-image package");
    // The ranges are checked on the text, before it becomes an unsigned number: "-100"
    // must not wrap around to a huge value.
    command
        ->add_option("--generate", options->generateCount,
                     "Make COUNT filler images instead of reading files (for test drives)")
        ->check(CLI::Range(1LL, static_cast<long long>(kImageChecksumEntries)));
    command
        ->add_option("--block-sizes", options->blockSizes,
                     "Sizes of the blocks of every image, up to 8, separated by commas")
        ->delimiter(',')
        ->check(CLI::Range(1LL, static_cast<long long>(kLargestBlockSize)));
    command->add_option("--vendor", options->vendors, "Model record vendor (up to 8 characters)")
        ->delimiter(',');
    command
        ->add_option("--product", options->products, "Model record product (up to 16 characters)")
        ->delimiter(',');
    command
        ->add_option("--revision", options->revisions, "Model record revision (up to 4 characters)")
        ->delimiter(',');
    command
        ->add_option("--model-code", options->modelCodes,
                     "Model record model code, 4 hexadecimal digits (4131 is 'A','1')")
        ->delimiter(',');
    command
        ->add_option("--record-offset", options->recordOffset,
                     "Image offset of the model record's signature (64 or more)")
        ->capture_default_str()
        ->check(CLI::Range(static_cast<long long>(kModelRecordScanStart), kLastRecordOffset));
    command->callback([options, &exitStatus] { RunPack(*options, exitStatus); });
}

}  // namespace troz::cli
