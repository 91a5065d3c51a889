// The pass-through block: a SCSI_PASS_THROUGH_DIRECT record, 4 filler bytes and a 32-byte
// sense buffer, exactly as the NT pass-through control call takes it. On 32-bit Windows it
// is 80 bytes with the sense buffer at 48; on 64-bit systems the record grows with its
// pointer field and the same rules (natural alignment) place every field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "drive/bytes.h"
#include "drive/scsi.h"

namespace troz {

namespace pass_through_layout {

constexpr std::size_t kLength = 0;  // u16
constexpr std::size_t kScsiStatus = 2;
constexpr std::size_t kPathId = 3;
constexpr std::size_t kTargetId = 4;
constexpr std::size_t kLun = 5;
constexpr std::size_t kCdbLength = 6;
constexpr std::size_t kSenseInfoLength = 7;
constexpr std::size_t kDataIn = 8;
constexpr std::size_t kDataTransferLength = 12;  // u32
constexpr std::size_t kTimeOutValue = 16;        // u32
constexpr std::size_t kDataBuffer = AlignUp(20, sizeof(void*));
constexpr std::size_t kSenseInfoOffsetField = kDataBuffer + sizeof(void*);  // u32
constexpr std::size_t kCdb = kSenseInfoOffsetField + 4;                     // 16 bytes
constexpr std::size_t kRecordSize = AlignUp(kCdb + 16, sizeof(void*));
constexpr std::size_t kSenseBuffer = kRecordSize + 4;  // after the ULONG filler
constexpr std::size_t kSenseBufferSize = 32;
constexpr std::size_t kBlockSize = AlignUp(kSenseBuffer + kSenseBufferSize, sizeof(void*));

}  // namespace pass_through_layout

#if defined(_WIN32) && !defined(_WIN64)
static_assert(pass_through_layout::kRecordSize == 44, "SCSI_PASS_THROUGH_DIRECT is 44 bytes");
static_assert(pass_through_layout::kDataBuffer == 20);
static_assert(pass_through_layout::kSenseInfoOffsetField == 24);
static_assert(pass_through_layout::kCdb == 28);
static_assert(pass_through_layout::kSenseBuffer == 48, "the sense buffer starts at 48");
static_assert(pass_through_layout::kBlockSize == 80, "the pass-through block is 80 bytes");
#endif

// NT DataIn values.
constexpr std::uint8_t kScsiIoctlDataOut = 0;
constexpr std::uint8_t kScsiIoctlDataIn = 1;
constexpr std::uint8_t kScsiIoctlDataUnspecified = 2;

// Values set for every command.
constexpr std::uint16_t kPassThroughRecordLength = pass_through_layout::kRecordSize;
constexpr std::uint8_t kPassThroughSenseInfoLength = 24;
constexpr std::uint32_t kPassThroughTimeoutSeconds = 20;

class PassThroughBlock {
public:
    static constexpr std::size_t kSize = pass_through_layout::kBlockSize;

    void Clear() { bytes_.fill(0); }
    std::uint8_t* Data() { return bytes_.data(); }
    const std::uint8_t* Data() const { return bytes_.data(); }

    std::uint16_t Length() const { return Get<std::uint16_t>(pass_through_layout::kLength); }
    void SetLength(std::uint16_t v) { Put(pass_through_layout::kLength, v); }
    std::uint8_t ScsiStatus() const { return bytes_[pass_through_layout::kScsiStatus]; }
    void SetScsiStatus(std::uint8_t v) { bytes_[pass_through_layout::kScsiStatus] = v; }
    std::uint8_t CdbLength() const { return bytes_[pass_through_layout::kCdbLength]; }
    void SetCdbLength(std::uint8_t v) { bytes_[pass_through_layout::kCdbLength] = v; }
    std::uint8_t SenseInfoLength() const { return bytes_[pass_through_layout::kSenseInfoLength]; }
    void SetSenseInfoLength(std::uint8_t v) { bytes_[pass_through_layout::kSenseInfoLength] = v; }
    std::uint8_t DataIn() const { return bytes_[pass_through_layout::kDataIn]; }
    void SetDataIn(std::uint8_t v) { bytes_[pass_through_layout::kDataIn] = v; }
    std::uint32_t DataTransferLength() const {
        return Get<std::uint32_t>(pass_through_layout::kDataTransferLength);
    }
    void SetDataTransferLength(std::uint32_t v) {
        Put(pass_through_layout::kDataTransferLength, v);
    }
    std::uint32_t TimeOutValue() const {
        return Get<std::uint32_t>(pass_through_layout::kTimeOutValue);
    }
    void SetTimeOutValue(std::uint32_t v) { Put(pass_through_layout::kTimeOutValue, v); }
    void* DataBuffer() const {
        return GetPointer(bytes_.data() + pass_through_layout::kDataBuffer);
    }
    void SetDataBuffer(const void* p) {
        PutPointer(bytes_.data() + pass_through_layout::kDataBuffer, p);
    }
    std::uint32_t SenseInfoOffset() const {
        return Get<std::uint32_t>(pass_through_layout::kSenseInfoOffsetField);
    }
    void SetSenseInfoOffset(std::uint32_t v) { Put(pass_through_layout::kSenseInfoOffsetField, v); }
    std::uint8_t* Cdb() { return bytes_.data() + pass_through_layout::kCdb; }
    const std::uint8_t* Cdb() const { return bytes_.data() + pass_through_layout::kCdb; }
    std::uint8_t* Sense() { return bytes_.data() + pass_through_layout::kSenseBuffer; }
    const std::uint8_t* Sense() const { return bytes_.data() + pass_through_layout::kSenseBuffer; }

private:
    template <typename T>
    T Get(std::size_t offset) const {
        return GetNative<T>(bytes_.data() + offset);
    }
    template <typename T>
    void Put(std::size_t offset, T value) {
        PutNative(bytes_.data() + offset, value);
    }

    alignas(void*) std::array<std::uint8_t, kSize> bytes_{};
};

// Clears block and fills it as the pass-through transport sends every command: the fixed
// values above, the direction, the caller's buffer and length, and the 12-byte CDB.
inline void FillCommandBlock(PassThroughBlock& block, const std::uint8_t* cdb, const void* buffer,
                             std::uint32_t length, std::uint8_t dataIn) {
    block.Clear();
    block.SetLength(kPassThroughRecordLength);
    block.SetCdbLength(static_cast<std::uint8_t>(kCdbLength));
    block.SetSenseInfoLength(kPassThroughSenseInfoLength);
    block.SetDataIn(dataIn);
    block.SetDataTransferLength(length);
    block.SetTimeOutValue(kPassThroughTimeoutSeconds);
    block.SetDataBuffer(buffer);
    block.SetSenseInfoOffset(static_cast<std::uint32_t>(pass_through_layout::kSenseBuffer));
    std::memcpy(block.Cdb(), cdb, kCdbLength);
}

}  // namespace troz
