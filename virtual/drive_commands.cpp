// The virtual drive's answers, command by command.
#include <algorithm>
#include <cstring>
#include <string>

#include "drive/bytes.h"
#include "drive/scsi_commands.h"
#include "virtual/virtual_drive.h"

namespace troz {

namespace {

// Standard INQUIRY data of a removable CD/DVD device, 96 bytes (additional length 91).
constexpr std::size_t kInquiryDataLength = 96;
constexpr std::uint8_t kPeripheralCdrom = 0x05;
constexpr std::uint8_t kRemovableMedium = 0x80;
constexpr std::uint8_t kResponseDataFormat = 0x02;
constexpr std::uint8_t kInquiryAdditionalLength = kInquiryDataLength - 5;
constexpr std::uint8_t kInquiryEvpd = 0x01;
constexpr std::uint8_t kVpdSupportedPages = 0x00;

constexpr std::uint8_t kFunctionTriggerOnly = 4;
constexpr std::uint8_t kFunctionDownload = 5;
// Block bytes from 0xE0 on name triggers: 0xE0 or 0xF0, plus the block count.
constexpr std::uint8_t kTriggerFirst = 0xE0;
constexpr std::uint8_t kTriggerFamilyMask = 0xF0;
constexpr std::uint8_t kTriggerFamilyF = 0xF0;
constexpr std::uint8_t kTriggerCountMask = 0x0F;

void PutText(std::uint8_t* at, const std::string& text, std::size_t width) {
    std::memset(at, ' ', width);
    std::memcpy(at, text.data(), std::min(width, text.size()));
}

// Data-in replies fill the caller's buffer up to the smallest of the lengths involved.
void CopyOut(const std::uint8_t* data, std::size_t count, std::uint8_t* buffer) {
    if (count > 0) {
        std::memcpy(buffer, data, count);
    }
}

DeviceReply Good() {
    return {};
}

}  // namespace

DeviceReply VirtualDrive::Answer(const std::uint8_t* cdb, std::uint8_t direction,
                                 std::uint8_t* buffer, std::uint32_t length) {
    const std::uint8_t opcode = cdb[0];
    // Sense is kept for the next command only, and REQUEST SENSE is the one that reads it.
    if (opcode != kOpRequestSense) {
        pendingSense_.reset();
    }
    std::uint8_t* dataIn = direction == kDirectionIn ? buffer : nullptr;
    const std::uint32_t dataInLength = dataIn != nullptr ? length : 0;
    const std::uint8_t* dataOut = direction == kDirectionOut ? buffer : nullptr;
    const std::uint32_t dataOutLength = dataOut != nullptr ? length : 0;

    if (opcode == kOpInquiry) {
        return Inquiry(cdb, dataIn, dataInLength);
    }
    if (opcode == kOpRequestSense) {
        return RequestSense(cdb, dataIn, dataInLength);
    }
    if (state_ == DriveState::Programming) {
        return Fail(kSenseBecomingReady);
    }
    if (unitAttention_) {
        unitAttention_ = false;
        return Fail(kSensePowerOnReset);
    }
    switch (opcode) {
        case kOpTestUnitReady:
            return TestUnitReady();
        case kOpStopPlayScan:
        case kOpStartStopUnit:
            return StopCommand();
        case kOpWriteBuffer:
            return WriteBuffer(cdb, dataOut, dataOutLength);
        case kOpVendor:
            return Vendor(cdb, dataIn, dataInLength, dataOut, dataOutLength);
        default:
            if (auto reply = MediaCommand(cdb, dataIn, dataInLength)) {
                return *reply;
            }
            return Fail(kSenseInvalidOpcode);
    }
}

Sense VirtualDrive::CurrentCondition() {
    switch (state_) {
        case DriveState::Programming:
            return kSenseBecomingReady;
        case DriveState::BootLoader:
            return kSenseNotReportable;
        case DriveState::Ready:
            break;
    }
    return config_.mediumPresent ? kSenseNone : kSenseMediumNotPresent;
}

DeviceReply VirtualDrive::TestUnitReady() {
    const Sense condition = CurrentCondition();
    return condition == kSenseNone ? Good() : Fail(condition);
}

DeviceReply VirtualDrive::StopCommand() {
    // A boot loader has no mechanism control to run.
    return state_ == DriveState::BootLoader ? Fail(kSenseNotReportable) : Good();
}

DeviceReply VirtualDrive::Inquiry(const std::uint8_t* cdb, std::uint8_t* buffer,
                                  std::uint32_t length) {
    if ((cdb[1] & kInquiryEvpd) != 0 && cdb[2] == kVpdSupportedPages) {
        // The list of vital product data pages holds only itself.
        const std::array<std::uint8_t, 5> pages = {kPeripheralCdrom, kVpdSupportedPages, 0, 1,
                                                   kVpdSupportedPages};
        const std::size_t count =
            std::min<std::size_t>({GetBigEndian16(cdb + 3), length, pages.size()});
        CopyOut(pages.data(), count, buffer);
        return Good();
    }
    if ((cdb[1] & kInquiryEvpd) != 0 || cdb[2] != 0) {
        return Fail(kSenseInvalidFieldInCdb);
    }
    std::array<std::uint8_t, kInquiryDataLength> data{};
    data[0] = kPeripheralCdrom;
    data[1] = kRemovableMedium;
    data[3] = kResponseDataFormat;
    data[4] = kInquiryAdditionalLength;
    PutText(data.data() + kInquiryVendorOffset, identity_.vendor, kInquiryVendorLength);
    PutText(data.data() + kInquiryProductOffset, identity_.product, kInquiryProductLength);
    const bool bootLoader = state_ == DriveState::BootLoader;
    PutText(data.data() + kInquiryRevisionOffset,
            bootLoader ? kBootLoaderRevision : identity_.revision, kInquiryRevisionLength);
    data[kInquiryModelCodeOffset] = identity_.modelCode[0];
    data[kInquiryModelCodeOffset + 1] = identity_.modelCode[1];

    const std::uint32_t allocation = GetBigEndian16(cdb + 3);
    const std::size_t count = std::min<std::size_t>({allocation, length, data.size()});
    CopyOut(data.data(), count, buffer);
    return Good();
}

DeviceReply VirtualDrive::RequestSense(const std::uint8_t* cdb, std::uint8_t* buffer,
                                       std::uint32_t length) {
    Sense sense;
    if (pendingSense_) {
        sense = *pendingSense_;
        pendingSense_.reset();
    } else if (unitAttention_ && state_ != DriveState::Programming) {
        sense = kSensePowerOnReset;
        unitAttention_ = false;
    } else {
        sense = CurrentCondition();
    }
    const auto data = MakeFixedSense(sense);
    const std::size_t count = std::min<std::size_t>({cdb[4], length, data.size()});
    CopyOut(data.data(), count, buffer);
    return Good();
}

DeviceReply VirtualDrive::WriteBuffer(const std::uint8_t* cdb, const std::uint8_t* data,
                                      std::uint32_t length) {
    if (!config_.acceptsWriteBuffer) {
        return Fail(config_.downloadRefusal);
    }
    if ((cdb[1] & kWriteBufferModeMask) != kWriteBufferDownloadAndSave ||
        cdb[2] != kWriteBufferFirmwareId) {
        return Fail(kSenseInvalidFieldInCdb);
    }
    const std::uint32_t offset = GetBigEndian24(cdb + 3);
    const std::uint32_t parameterLength = GetBigEndian24(cdb + 6);
    if (parameterLength > length) {
        return Fail(kSenseParameterListLength);
    }
    if (parameterLength > 0 && !staging_.StorePiece(offset, data, parameterLength)) {
        return Fail(kSenseInvalidFieldInCdb);
    }
    return Good();
}

DeviceReply VirtualDrive::Vendor(const std::uint8_t* cdb, std::uint8_t* buffer,
                                 std::uint32_t dataIn, const std::uint8_t* dataOut,
                                 std::uint32_t dataOutLength) {
    // Without the vendor page and signature, opcode 5A is MODE SENSE(10).
    if (cdb[2] != kVendorPage || cdb[3] != kVendorSignature0 || cdb[4] != kVendorSignature1) {
        return ModeSenseCapabilities(cdb, buffer, dataIn);
    }
    if (cdb[5] == kVendorDownloadSelector) {
        return Download(cdb, dataOut, dataOutLength);
    }
    if (cdb[5] == kVendorQuerySelector) {
        return Query(buffer, dataIn);
    }
    return Fail(kSenseInvalidFieldInCdb);
}

DeviceReply VirtualDrive::Download(const std::uint8_t* cdb, const std::uint8_t* data,
                                   std::uint32_t length) {
    const std::uint8_t functionCode = cdb[6];
    const std::uint8_t blockByte = cdb[7];
    const std::uint16_t blockLength = GetBigEndian16(cdb + 8);
    const std::uint16_t argument = GetBigEndian16(cdb + 10);
    if (blockByte >= kTriggerFirst && blockLength == 0) {
        return Trigger(functionCode, blockByte, argument);
    }
    if (functionCode != kFunctionDownload || blockByte >= kTriggerFirst || blockLength == 0) {
        return Fail(kSenseInvalidFieldInCdb);
    }
    if (!config_.acceptsBlockDownload) {
        return Fail(config_.downloadRefusal);
    }
    if (blockLength > length) {
        return Fail(kSenseParameterListLength);
    }
    staging_.StoreBlock(blockByte, data, blockLength);
    return Good();
}

DeviceReply VirtualDrive::Trigger(std::uint8_t functionCode, std::uint8_t blockByte,
                                  std::uint16_t checksum) {
    if (functionCode != kFunctionTriggerOnly && functionCode != kFunctionDownload) {
        return Fail(kSenseInvalidFieldInCdb);
    }
    const bool familyF = (blockByte & kTriggerFamilyMask) == kTriggerFamilyF;
    const bool function4 = functionCode == kFunctionTriggerOnly;
    const TriggerKind kind = function4
                                 ? (familyF ? TriggerKind::Function4F : TriggerKind::Function4E)
                                 : (familyF ? TriggerKind::Function5F : TriggerKind::Function5E);
    if (const auto& refusal = config_.TriggerRefusal(kind)) {
        return Fail(*refusal);
    }
    const auto blockCount = static_cast<std::uint8_t>(blockByte & kTriggerCountMask);
    const auto checked =
        config_.triggerArgumentUnseen ? std::nullopt : std::optional<std::uint16_t>(checksum);
    if (const auto refusal = staging_.CheckTrigger(blockCount, checked)) {
        return Fail(*refusal);
    }
    const bool programming = StartProgramming(staging_.Image(blockCount));
    staging_.Clear();
    if (!programming) {
        return Fail(kSenseInternalTargetFailure);
    }
    if (config_.triggerAcceptance == TriggerAcceptance::NotReady) {
        return Fail(kSenseBecomingReady);
    }
    return Good();
}

DeviceReply VirtualDrive::Query(std::uint8_t* buffer, std::uint32_t length) {
    std::array<std::uint8_t, kVendorQueryLength> answer{};
    answer[0] = config_.queryFlag;
    CopyOut(answer.data(), std::min<std::size_t>(length, answer.size()), buffer);
    return Good();
}

}  // namespace troz
