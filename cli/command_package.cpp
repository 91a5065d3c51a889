// inspect, verify and pack: the firmware package on a terminal.
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_pack.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "drive/scsi_commands.h"
#include "history/sha256.h"
#include "os/user_files.h"
#include "update/line_window.h"
#include "update/package_summary.h"
#include "update/validate_package.h"

namespace troz::cli {

namespace {

constexpr const char* kVerifiedLine = "Ok:Firmware file check sum OK!!";
constexpr int kJsonIndent = 2;
constexpr int kInspectSchemaVersion = 1;

// The verdict of the whole package: refused when the tool would take none of its images.
bool AnyImageAccepted(const PackageInspection& inspection) {
    for (const ImageInspection& image : inspection.images) {
        if (ImageAccepted(inspection, image)) {
            return true;
        }
    }
    return false;
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string ModelCodeHex(const std::array<std::uint8_t, 2>& code) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", code[0], code[1]);
    return text;
}

// A field of the target product string without the spaces that pad it.
std::string TargetField(const std::string& target, std::size_t from, std::size_t length) {
    if (from >= target.size()) {
        return {};
    }
    std::string field = target.substr(from, length);
    field.erase(field.find_last_not_of(' ') + 1);
    field.erase(0, field.find_first_not_of(' '));
    return field;
}

nlohmann::json FindingsJson(const std::vector<PackageFinding>& findings) {
    nlohmann::json list = nlohmann::json::array();
    for (const PackageFinding& finding : findings) {
        list.push_back(
            {{"step", finding.step},
             {"line", finding.line.empty() ? nlohmann::json() : nlohmann::json(finding.line)},
             {"reason", finding.reason}});
    }
    return list;
}

nlohmann::json ImageJson(const PackageInspection& inspection, const ImageInspection& image) {
    nlohmann::json json = {{"index", image.index},
                           {"position", image.position},
                           {"block_sizes", image.blockSizes},
                           {"expected_checksum", nullptr},
                           {"computed_checksum", nullptr},
                           {"scan_window_bytes", image.windowBytes},
                           {"model_record", nullptr},
                           {"accepted", ImageAccepted(inspection, image)},
                           {"findings", FindingsJson(image.findings)}};
    if (image.expected) {
        json["expected_checksum"] = *image.expected;
    }
    if (image.computed) {
        json["computed_checksum"] = *image.computed;
    }
    if (image.modelRecord) {
        // The target as a drive's INQUIRY gives it: vendor 8, product 16, revision 4.
        const std::string& target = image.modelRecord->targetProduct;
        constexpr std::size_t kRevisionAt = kInquiryVendorLength + kInquiryProductLength;
        json["model_record"] = {
            {"signature_offset", image.modelRecord->signatureOffset},
            {"target_product", PrintableBytes(target)},
            {"vendor", PrintableBytes(TargetField(target, 0, kInquiryVendorLength))},
            {"product",
             PrintableBytes(TargetField(target, kInquiryVendorLength, kInquiryProductLength))},
            {"revision", PrintableBytes(TargetField(target, kRevisionAt, kInquiryRevisionLength))},
            {"model_code", ModelCodeHex(image.modelRecord->modelCode)}};
    }
    return json;
}

nlohmann::json InspectionJson(const std::string& path, const PackageInspection& inspection,
                              const std::optional<history::FileDigest>& digest) {
    const PackageHeader& header = inspection.header;
    std::vector<std::uint16_t> blockSizeTable, imageChecksumTable;
    for (int i = 0; i < kBlockSizeTableEntries; ++i) {
        blockSizeTable.push_back(header.BlockSize(i));
    }
    for (int k = 0; k < kImageChecksumEntries; ++k) {
        imageChecksumTable.push_back(header.ImageChecksum(k));
    }
    nlohmann::json json = {{"schema_version", kInspectSchemaVersion},
                           {"file", PrintableName(path)},
                           {"size", digest ? nlohmann::json(digest->size) : nlohmann::json()},
                           {"sha256", digest ? nlohmann::json(digest->sha256) : nlohmann::json()},
                           {"header_bytes", inspection.headerBytesRead},
                           {"magic_matches", header.MagicMatches()},
                           {"format", header.Format()},
                           {"multi_image", header.IsMultiImage()},
                           {"scramble_flag", header.ScrambleFlag()},
                           {"scrambled", header.IsScrambled()},
                           {"block_count", header.BlockCount()},
                           {"block_size_table", blockSizeTable},
                           {"findings", FindingsJson(inspection.findings)},
                           {"images_not_listed", inspection.imagesNotListed}};
    if (header.IsMultiImage()) {
        json["image_count"] = header.ImageCount();
        json["image_size"] = ImageSize(header);
        json["image_checksum_table"] = imageChecksumTable;
    } else {
        json["checksum"] = header.Checksum();
    }
    json["images"] = nlohmann::json::array();
    for (const ImageInspection& image : inspection.images) {
        json["images"].push_back(ImageJson(inspection, image));
    }
    return json;
}

void PrintFindings(const std::vector<PackageFinding>& findings, const char* indent) {
    for (const PackageFinding& finding : findings) {
        std::cout << indent << finding.step
                  << " refuses: " << (finding.line.empty() ? "(no line)" : finding.line) << "  -- "
                  << finding.reason << '\n';
    }
}

std::string JoinSizes(const std::vector<std::uint16_t>& sizes) {
    std::string text;
    for (const std::uint16_t size : sizes) {
        text += (text.empty() ? "" : " ") + std::to_string(size);
    }
    return text.empty() ? "(none)" : text;
}

void PrintImage(const PackageInspection& inspection, const ImageInspection& image) {
    std::cout << "Image " << image.index << ":  at offset " << image.position << ", blocks "
              << JoinSizes(image.blockSizes) << '\n';
    std::cout << "  checksum: expected "
              << (image.expected ? Hex(*image.expected, 4) : "(no table entry)") << ", computed "
              << (image.computed ? Hex(*image.computed, 4) : "(not read)") << '\n';
    if (image.modelRecord) {
        const ModelRecord& record = *image.modelRecord;
        std::cout << "  model record at image offset " << record.signatureOffset
                  << ": target product \"" << PrintableBytes(record.targetProduct)
                  << "\", model code " << ModelCodeHex(record.modelCode) << " (\""
                  << PrintableBytes(std::string(record.modelCode.begin(), record.modelCode.end()))
                  << "\")\n";
    } else {
        std::cout << "  model record: none found\n";
    }
    PrintFindings(image.findings, "  ");
    std::cout << "  verdict: "
              << (ImageAccepted(inspection, image) ? "the tool takes this image" : "refused")
              << '\n';
}

void PrintInspection(const std::string& path, const PackageInspection& inspection) {
    const PackageHeader& header = inspection.header;
    std::vector<std::uint16_t> table;
    for (int i = 0; i < kBlockSizeTableEntries; ++i) {
        table.push_back(header.BlockSize(i));
    }
    std::cout << "Package:        " << PrintableName(path) << '\n'
              << "Magic:          " << (header.MagicMatches() ? "TROZ FILE SYSTEM" : "differs")
              << '\n'
              << "Format:         " << Hex(header.Format(), 2)
              << (header.IsMultiImage() ? " (multi-image)" : " (single-image)") << '\n'
              << "Scramble flag:  " << Hex(header.ScrambleFlag(), 2)
              << (header.IsScrambled() ? " (scrambled)" : " (plain)") << '\n';
    if (header.IsMultiImage()) {
        std::cout << "Image count:    " << header.ImageCount() << '\n'
                  << "Image size:     " << ImageSize(header) << '\n';
    } else {
        std::cout << "Checksum:       " << Hex(header.Checksum(), 4) << '\n';
    }
    std::cout << "Block count:    " << header.BlockCount() << '\n'
              << "Block sizes:    " << JoinSizes(table) << '\n';
    PrintFindings(inspection.findings, "");
    for (const ImageInspection& image : inspection.images) {
        PrintImage(inspection, image);
    }
    if (inspection.imagesNotListed > 0) {
        std::cout << inspection.imagesNotListed << " more images not listed\n";
    }
}

void RegisterInspect(CLI::App& app, int& exitStatus) {
    auto* command = app.add_subcommand(
        "inspect",
        "Show a package's header, images, model records and checksums, and whether "
        "the tool would refuse it and why; exit status 1 when it would refuse every image");
    auto path = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    command->add_option("FILE", *path, "The package file (.tfs)")->required();
    command->add_flag("--json", *json, "Print one JSON object for scripts");
    command->callback([path, json, &exitStatus] {
        PackageInspection inspection;
        std::string error;
        if (!InspectPackage(*path, inspection, error)) {
            std::cerr << "inspect: " << error << '\n';
            exitStatus = kExitFailed;
            return;
        }
        if (*json) {
            std::string reason;
            const auto digest = history::DigestFile(*path, reason);
            if (!digest) {
                std::cerr << "inspect: no SHA-256 of " << PrintableName(*path) << ": " << reason
                          << '\n';
            }
            std::cout << InspectionJson(*path, inspection, digest)
                             .dump(kJsonIndent, ' ', false,
                                   nlohmann::json::error_handler_t::replace)
                      << '\n';
        } else {
            PrintInspection(*path, inspection);
        }
        exitStatus = AnyImageAccepted(inspection) ? kExitOk : kExitFailed;
    });
}

// verify shows the lines the window would show, one per line on standard output.
void RegisterVerify(CLI::App& app, int& exitStatus) {
    auto* command = app.add_subcommand(
        "verify",
        "Run the package check that Start runs and print its line; exit status 0 "
        "only when the package is valid");
    auto path = std::make_shared<std::string>();
    auto image = std::make_shared<std::int32_t>(0);
    command->add_option("FILE", *path, "The package file (.tfs)")->required();
    command->add_option("--image", *image, "Image of a multi-image package to check (0 to 5)")
        ->capture_default_str()
        ->check(CLI::Range(0, kImageChecksumEntries - 1));
    command->callback([path, image, &exitStatus] {
        PackageState state;
        state.imageIndex = *image;
        PackageHeader headerCopy;
        int lineCount = 0;
        LineWindow window(
            [&lineCount](const std::string& text) {
                std::cout << text << '\n';
                ++lineCount;
            },
            [](const std::string& text) { std::cerr << "verify: " << text << '\n'; });
        if (ValidatePackage(*path, headerCopy, state, window)) {
            window.AddLogLine(kVerifiedLine);
            exitStatus = kExitOk;
            return;
        }
        if (lineCount == 0) {
            std::cerr << "verify: a block of the image is empty or cannot be read in full "
                         "(Start fails without a line)\n";
        }
        exitStatus = kExitFailed;
    });
}

}  // namespace

void RegisterPackageCommands(CLI::App& app, int& exitStatus) {
    RegisterInspect(app, exitStatus);
    RegisterVerify(app, exitStatus);
    RegisterPackCommand(app, exitStatus);
}

}  // namespace troz::cli
