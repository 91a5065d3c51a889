// The command catalogue: every SCSI command the tool sends, each from a constant 12-byte
// template with its argument bytes filled in, big-endian.
#include <array>
#include <cstring>

#include "drive/atapi.h"
#include "drive/bytes.h"
#include "drive/scsi_commands.h"

namespace troz {

namespace {

using Cdb = std::array<std::uint8_t, kCdbLength>;

constexpr Cdb kTestUnitReadyTemplate = {kOpTestUnitReady, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Cdb kInquiryTemplate = {kOpInquiry, 0, 0, 0, kInquiryAllocationLength, 0, 0, 0,
                                  0,          0, 0, 0};
constexpr Cdb kRequestSenseTemplate = {
    kOpRequestSense, 0, 0, 0, kRequestSenseAllocationLength, 0, 0, 0, 0, 0, 0, 0};
constexpr Cdb kStopPlayScanTemplate = {kOpStopPlayScan, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// WRITE BUFFER mode 5 (download microcode and save), buffer id 1.
constexpr Cdb kWriteBufferTemplate = {
    kOpWriteBuffer, kWriteBufferDownloadAndSave, kWriteBufferFirmwareId, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// START STOP UNIT with the start and load/eject bits clear: stop the disc.
constexpr Cdb kStopUnitTemplate = {kOpStartStopUnit, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Cdb kVendorDownloadTemplate = {kOpVendor,
                                         0,
                                         kVendorPage,
                                         kVendorSignature0,
                                         kVendorSignature1,
                                         kVendorDownloadSelector,
                                         0,
                                         0,
                                         0,
                                         0,
                                         0,
                                         0};
constexpr Cdb kVendorQueryTemplate = {kOpVendor,
                                      0,
                                      kVendorPage,
                                      kVendorSignature0,
                                      kVendorSignature1,
                                      kVendorQuerySelector,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0};

}  // namespace

std::uint8_t TAtapi::TestUnitReady() {
    Cdb cdb = kTestUnitReadyTemplate;
    return ExecCommand(cdb.data(), nullptr, 0, kDirectionNone);
}

std::uint8_t TAtapi::Inquiry(std::span<std::uint8_t, kInquiryAllocationLength> reply) {
    Cdb cdb = kInquiryTemplate;
    return ExecCommand(cdb.data(), reply.data(), reply.size(), kDirectionIn);
}

std::uint8_t TAtapi::RequestSense(std::span<std::uint8_t, kRequestSenseAllocationLength> reply) {
    Cdb cdb = kRequestSenseTemplate;
    return ExecCommand(cdb.data(), reply.data(), reply.size(), kDirectionIn);
}

std::uint8_t TAtapi::StopPlayScan() {
    Cdb cdb = kStopPlayScanTemplate;
    return ExecCommand(cdb.data(), nullptr, 0, kDirectionNone);
}

std::uint8_t TAtapi::WriteBuffer(const std::uint8_t* data, std::uint8_t blockNumber,
                                 std::uint16_t offset, std::uint32_t length) {
    Cdb cdb = kWriteBufferTemplate;
    // Bytes 3-5 are the 24-bit buffer offset: the drive sees blockNumber * 65536 + offset.
    PutBigEndian24(&cdb[3], (static_cast<std::uint32_t>(blockNumber) << 16) | offset);
    // Bytes 6-8 hold the low 24 bits of the parameter list length.
    PutBigEndian24(&cdb[6], length);
    return Dispatch(cdb.data(), data, length, kDirectionOut);
}

std::uint8_t TAtapi::StopUnit() {
    Cdb cdb = kStopUnitTemplate;
    return ExecCommand(cdb.data(), nullptr, 0, kDirectionNone);
}

std::uint8_t TAtapi::VendorDownload(const std::uint8_t* data, std::uint8_t functionCode,
                                    std::uint8_t blockByte, std::uint16_t length,
                                    std::uint16_t argument) {
    Cdb cdb = kVendorDownloadTemplate;
    cdb[6] = functionCode;
    cdb[7] = blockByte;
    PutBigEndian16(&cdb[8], length);
    PutBigEndian16(&cdb[10], argument);
    return Dispatch(cdb.data(), data, length, kDirectionOut);
}

std::uint8_t TAtapi::VendorQuery(std::span<std::uint8_t, kVendorQueryLength> reply) {
    Cdb cdb = kVendorQueryTemplate;
    return ExecCommand(cdb.data(), reply.data(), reply.size(), kDirectionIn);
}

}  // namespace troz
