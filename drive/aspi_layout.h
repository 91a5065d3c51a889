// ASPI for Win32 request records, by offset. On 32-bit Windows they have the published
// layouts (SRB_ExecSCSICmd 80 bytes, SRB_Abort 12, SRB_GDEVBlock 12). On 64-bit hosts a
// pointer does not fit the 4-byte fields, so the field order is kept and the pointer fields
// (buffer pointer, post procedure, request to abort) take native width with natural
// alignment; every other field keeps its width.
#pragma once

#include <cstddef>
#include <cstdint>

#include "drive/bytes.h"

#if defined(_WIN32) && !defined(_WIN64)
#define TROZ_ASPI_CALL __cdecl
#else
#define TROZ_ASPI_CALL
#endif

namespace troz {

namespace aspi {

// Command codes.
constexpr std::uint8_t kScHaInquiry = 0x00;
constexpr std::uint8_t kScGetDevType = 0x01;
constexpr std::uint8_t kScExecScsiCmd = 0x02;
constexpr std::uint8_t kScAbortSrb = 0x03;

// Status codes of the SRB status byte.
constexpr std::uint8_t kSsPending = 0x00;
constexpr std::uint8_t kSsComp = 0x01;
constexpr std::uint8_t kSsAborted = 0x02;
constexpr std::uint8_t kSsAbortFail = 0x03;
constexpr std::uint8_t kSsErr = 0x04;
constexpr std::uint8_t kSsInvalidHa = 0x81;
constexpr std::uint8_t kSsNoDevice = 0x82;

constexpr std::uint8_t kSrbEventNotify = 0x40;
constexpr std::uint8_t kDeviceTypeCdrom = 5;
constexpr std::uint8_t kSenseLength = 14;

// Header common to every request: command, status, host adapter, flags, 4 reserved bytes.
constexpr std::size_t kCommand = 0;
constexpr std::size_t kStatus = 1;
constexpr std::size_t kHostAdapter = 2;
constexpr std::size_t kFlags = 3;
constexpr std::size_t kHeaderReserved = 4;

// SRB_ExecSCSICmd.
namespace exec {
constexpr std::size_t kTarget = 8;
constexpr std::size_t kLun = 9;
constexpr std::size_t kBufferLength = 12;  // u32
constexpr std::size_t kBufferPointer = AlignUp(16, sizeof(void*));
constexpr std::size_t kSenseLengthField = kBufferPointer + sizeof(void*);
constexpr std::size_t kCdbLength = kSenseLengthField + 1;
constexpr std::size_t kHostStatus = kSenseLengthField + 2;
constexpr std::size_t kTargetStatus = kSenseLengthField + 3;
constexpr std::size_t kPostProc = AlignUp(kSenseLengthField + 4, sizeof(void*));
constexpr std::size_t kReserved2 = kPostProc + sizeof(void*);  // 20 bytes
constexpr std::size_t kCdb = kReserved2 + 20;                  // 16 bytes
constexpr std::size_t kSenseArea = kCdb + 16;                  // kSenseLength + 2 bytes
constexpr std::size_t kSize = AlignUp(kSenseArea + kSenseLength + 2, sizeof(void*));
}  // namespace exec

// SRB_Abort.
namespace abort {
constexpr std::size_t kToAbort = AlignUp(8, sizeof(void*));
constexpr std::size_t kSize = kToAbort + sizeof(void*);
}  // namespace abort

// SRB_GDEVBlock.
namespace gdev {
constexpr std::size_t kTarget = 8;
constexpr std::size_t kLun = 9;
constexpr std::size_t kDeviceType = 10;
constexpr std::size_t kSize = 12;
}  // namespace gdev

#if defined(_WIN32) && !defined(_WIN64)
static_assert(exec::kBufferPointer == 16);
static_assert(exec::kSenseLengthField == 20);
static_assert(exec::kTargetStatus == 23);
static_assert(exec::kPostProc == 24);
static_assert(exec::kCdb == 48);
static_assert(exec::kSenseArea == 64);
static_assert(exec::kSize == 80, "SRB_ExecSCSICmd is 80 bytes");
static_assert(abort::kSize == 12, "SRB_Abort is 12 bytes");
#endif

// The two entry points of WNASPI32.DLL, as GetProcAddress gives them.
using GetSupportInfoFunction = std::uint32_t(TROZ_ASPI_CALL*)();
using SendCommandFunction = std::uint32_t(TROZ_ASPI_CALL*)(void* request);

}  // namespace aspi

}  // namespace troz
