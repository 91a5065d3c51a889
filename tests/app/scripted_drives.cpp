#include "scripted_drives.h"

#include <QStringList>
#include <algorithm>
#include <cstring>

namespace troz::test {

namespace {

constexpr std::uint8_t kInquiryOpcode = 0x12;
constexpr std::size_t kIdentificationOffset = 8;
constexpr std::size_t kIdentificationLength = 24;
constexpr std::size_t kRevisionOffset = 32;
constexpr std::size_t kRevisionLength = 4;

}  // namespace

ScriptedBackend::ScriptedBackend(std::vector<ScriptedDrive> drives)
    : drives_(std::move(drives)), closeCounts_(drives_.size(), 0) {}

bool ScriptedBackend::IsOpticalDrive(int candidate) {
    return candidate >= 0 && static_cast<std::size_t>(candidate) < drives_.size();
}

std::string ScriptedBackend::DevicePath(int candidate) {
    return "scripted:" + std::to_string(candidate);
}

DeviceHandle ScriptedBackend::Open(int candidate) {
    return IsOpticalDrive(candidate) ? HandleOf(candidate) : kInvalidHandle;
}

void ScriptedBackend::Close(DeviceHandle handle) {
    const DeviceHandle candidate = handle - kHandleBase;
    if (IsOpticalDrive(static_cast<int>(candidate))) {
        ++closeCounts_[static_cast<std::size_t>(candidate)];
    }
}

PlatformError ScriptedBackend::Execute(DeviceHandle handle, PassThroughBlock& block) {
    const auto candidate = static_cast<std::size_t>(handle - kHandleBase);
    block.SetScsiStatus(kScsiStatusGood);
    auto* buffer = static_cast<std::uint8_t*>(block.DataBuffer());
    if (candidate >= drives_.size() || block.Cdb()[0] != kInquiryOpcode || buffer == nullptr ||
        block.DataTransferLength() < kRevisionOffset + kRevisionLength) {
        return {};
    }
    const ScriptedDrive& drive = drives_[candidate];
    std::memcpy(buffer + kIdentificationOffset, drive.identification.data(),
                std::min(drive.identification.size(), kIdentificationLength));
    std::memcpy(buffer + kRevisionOffset, drive.revision.data(),
                std::min(drive.revision.size(), kRevisionLength));
    return {};
}

bool ScriptedBackend::FormatSystemError(std::uint32_t, std::string&, std::uint32_t& lastError) {
    lastError = 0;
    return false;
}

std::vector<ScriptedDrive> ThreeDrives() {
    return {
        {"TROZ    KVW-A100A       ", "1.00"},
        {"TROZ    KVC-F600        ", "2.10"},
        {"OTHER   CD-ROM X52      ", "0.9A"},
    };
}

QStringList ThreeDriveTexts() {
    return {
        QStringLiteral("TROZ    KVW-A100A        1.00"),
        QStringLiteral("TROZ    KVC-F600         2.10"),
        QStringLiteral("OTHER   CD-ROM X52       0.9A"),
    };
}

}  // namespace troz::test
