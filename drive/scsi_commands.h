// The wire format of every command the tool sends and the virtual drives answer: operation
// codes, the vendor command's fixed bytes, WRITE BUFFER's mode, and where INQUIRY data keeps
// the fields the tool reads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace troz {

// Operation codes.
constexpr std::uint8_t kOpTestUnitReady = 0x00;
constexpr std::uint8_t kOpRequestSense = 0x03;
constexpr std::uint8_t kOpInquiry = 0x12;
constexpr std::uint8_t kOpStartStopUnit = 0x1B;
constexpr std::uint8_t kOpWriteBuffer = 0x3B;
constexpr std::uint8_t kOpStopPlayScan = 0x4E;
constexpr std::uint8_t kOpVendor = 0x5A;  // with any other byte 2 to 5: MODE SENSE(10)
// What the kernel asks of a new CD/DVD drive before sr binds to it.
constexpr std::uint8_t kOpModeSense6 = 0x1A;
constexpr std::uint8_t kOpPreventAllow = 0x1E;
constexpr std::uint8_t kOpReadCapacity = 0x25;
constexpr std::uint8_t kOpReadToc = 0x43;
constexpr std::uint8_t kOpGetConfiguration = 0x46;
constexpr std::uint8_t kOpGetEventStatus = 0x4A;
constexpr std::uint8_t kOpReadDiscInformation = 0x51;

// The vendor commands: 5A 00 38 'T' 'R' <selector>; A0 downloads, C0 queries.
constexpr std::uint8_t kVendorPage = 0x38;
constexpr std::uint8_t kVendorSignature0 = 'T';
constexpr std::uint8_t kVendorSignature1 = 'R';
constexpr std::uint8_t kVendorDownloadSelector = 0xA0;
constexpr std::uint8_t kVendorQuerySelector = 0xC0;
// The reply length of the vendor query.
constexpr std::size_t kVendorQueryLength = 10;

// WRITE BUFFER mode 5 (download microcode and save) into buffer id 1.
constexpr std::uint8_t kWriteBufferModeMask = 0x1F;
constexpr std::uint8_t kWriteBufferDownloadAndSave = 0x05;
constexpr std::uint8_t kWriteBufferFirmwareId = 0x01;

// Allocation lengths the tool asks for.
constexpr std::size_t kInquiryAllocationLength = 50;
constexpr std::size_t kRequestSenseAllocationLength = 18;

// Standard INQUIRY data: where the fields the tool reads and the drives fill sit.
constexpr std::size_t kInquiryVendorOffset = 8;
constexpr std::size_t kInquiryVendorLength = 8;
constexpr std::size_t kInquiryProductOffset = 16;
constexpr std::size_t kInquiryProductLength = 16;
constexpr std::size_t kInquiryRevisionOffset = 32;
constexpr std::size_t kInquiryRevisionLength = 4;
// The drive's two-byte model code, in the vendor-specific bytes 38 and 39.
constexpr std::size_t kInquiryModelCodeOffset = 38;

}  // namespace troz
