// The model record: the INQUIRY-shaped identification block inside an image that ties the
// image to a drive model. The Open step, inspect and the virtual drive find it by the head
// of a removable CD/DVD device's INQUIRY answer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace troz {

constexpr std::size_t kModelRecordSize = 99;
// The record begins with the INQUIRY vendor identification, 8 bytes after the signature.
constexpr std::size_t kModelRecordDistance = 8;
// The window starts at the image's first byte; the image's own header comes first.
constexpr std::size_t kModelRecordScanStart = 64;
constexpr std::size_t kTargetProductLength = 28;
// The model code within the record: the drive reports it in INQUIRY bytes 38 and 39.
constexpr std::size_t kRecordModelCodeOffset = 30;

constexpr std::size_t kSignatureLength = 5;
constexpr std::uint8_t kSignatureDeviceType = 0x05;  // CD/DVD device
constexpr std::uint8_t kSignatureRemovable = 0x80;
constexpr std::uint8_t kSignatureVersion = 0x00;
constexpr std::uint8_t kSignatureShortLength = 0x1F;  // additional length 31
constexpr std::uint8_t kSignatureLongLength = 0x5B;   // additional length 91

struct ModelRecord {
    std::size_t signatureOffset = 0;  // within the scanned window
    std::array<std::uint8_t, kModelRecordSize> bytes{};
    std::string targetProduct;  // up to 28 characters, ended early by a zero byte
    std::array<std::uint8_t, 2> modelCode{};
};

// Scans window bytes from offset 64 on for the lowest signature whose whole 99-byte record
// lies inside the window. A signature too close to the end for a whole record is skipped.
std::optional<ModelRecord> FindModelRecord(const std::uint8_t* window, std::size_t length);

}  // namespace troz
