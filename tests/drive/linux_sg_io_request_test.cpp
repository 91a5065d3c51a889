#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "drive/linux/sg_io_request.h"

namespace troz {
namespace {

// A block as the pass-through transport fills it for every command.
PassThroughBlock TransportBlock(std::uint8_t dataIn, void* buffer, std::uint32_t length) {
    const std::uint8_t writeBuffer[kCdbLength] = {0x3B};
    PassThroughBlock block;
    FillCommandBlock(block, writeBuffer, buffer, length, dataIn);
    return block;
}

struct DirectionCase {
    std::uint8_t dataIn;
    int expectedDirection;
    bool carriesData;
};

// CTest names the cases by these, not by their raw bytes.
void PrintTo(const DirectionCase& c, std::ostream* out) {
    *out << "DataIn" << int{c.dataIn};
}

class SgIoRequestHeader : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(SgIoRequestHeader, CarriesTheBlockInTheDirectionOfDataIn) {
    std::uint8_t buffer[64] = {};
    PassThroughBlock block = TransportBlock(GetParam().dataIn, buffer, sizeof buffer);
    sg_io_hdr header{};
    ASSERT_TRUE(BuildSgIoRequest(block, header));

    EXPECT_EQ(header.interface_id, 'S');
    EXPECT_EQ(header.dxfer_direction, GetParam().expectedDirection);
    EXPECT_EQ(header.cmd_len, 12);
    EXPECT_EQ(header.cmdp, block.Cdb());
    EXPECT_EQ(header.sbp, block.Sense());
    EXPECT_EQ(header.mx_sb_len, 24);
    EXPECT_EQ(header.timeout, 20000u);
    EXPECT_EQ(header.iovec_count, 0);
    EXPECT_EQ(header.flags, 0u);
    if (GetParam().carriesData) {
        EXPECT_EQ(header.dxferp, buffer);
        EXPECT_EQ(header.dxfer_len, sizeof buffer);
    } else {
        // The kernel refuses SG_DXFER_NONE with a length, which the NT call would ignore.
        EXPECT_EQ(header.dxferp, nullptr);
        EXPECT_EQ(header.dxfer_len, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(EachDataIn, SgIoRequestHeader,
                         ::testing::Values(DirectionCase{1, SG_DXFER_FROM_DEV, true},
                                           DirectionCase{0, SG_DXFER_TO_DEV, true},
                                           DirectionCase{2, SG_DXFER_NONE, false},
                                           DirectionCase{7, SG_DXFER_NONE, false}),
                         [](const auto& testCase) {
                             return ::testing::PrintToString(testCase.param);
                         });

TEST(SgIoRequestRefusal, CdbLengthsSgIoCannotCarry) {
    for (std::uint8_t cdbLength : {0, 17, 255}) {
        PassThroughBlock block = TransportBlock(kScsiIoctlDataUnspecified, nullptr, 0);
        block.SetCdbLength(cdbLength);
        sg_io_hdr header{};
        EXPECT_FALSE(BuildSgIoRequest(block, header)) << int{cdbLength};
    }
}

TEST(SgIoRequestRefusal, SenseLengthNeverExceedsTheSenseBuffer) {
    PassThroughBlock block = TransportBlock(kScsiIoctlDataUnspecified, nullptr, 0);
    block.SetSenseInfoLength(200);
    sg_io_hdr header{};
    ASSERT_TRUE(BuildSgIoRequest(block, header));
    EXPECT_EQ(header.mx_sb_len, pass_through_layout::kSenseBufferSize);
}

struct OutcomeCase {
    std::string name;
    int ioctlError;
    std::uint16_t hostStatus;
    std::uint16_t driverStatus;
    std::uint8_t status;
    std::uint8_t maskedStatus;
    PlatformErrorKind kind;
    std::uint32_t code;
    std::uint8_t scsiStatus;
};

const std::vector<OutcomeCase> kOutcomes = {
    {"Good", 0, 0, 0, 0, 0, PlatformErrorKind::None, 0, 0},
    {"IoctlTimedOut", ETIMEDOUT, 0, 0, 0x02, 0, PlatformErrorKind::TimedOut, ETIMEDOUT, 0},
    {"IoctlIoError", EIO, 0, 0, 0, 0, PlatformErrorKind::IoDevice, EIO, 0},
    {"IoctlNotPermitted", EPERM, 0, 0, 0, 0, PlatformErrorKind::Other, EPERM, 0},
    {"IoctlBadAddress", EFAULT, 0, 0, 0, 0, PlatformErrorKind::Other, EFAULT, 0},
    // A host or driver failure has no error number: its statuses are kept as they came.
    {"HostTimeOut", 0, 0x03, 0, 0, 0, PlatformErrorKind::TimedOut, 0, 0},
    {"HostNoConnect", 0, 0x01, 0, 0, 0, PlatformErrorKind::Other, 0, 0},
    {"HostBadTarget", 0, 0x04, 0, 0, 0, PlatformErrorKind::Other, 0, 0},
    {"HostBusBusy", 0, 0x02, 0, 0, 0, PlatformErrorKind::Other, 0, 0},
    {"HostError", 0, 0x07, 0, 0, 0, PlatformErrorKind::Other, 0, 0},
    {"HostBeforeDriver", 0, 0x07, 0x06, 0, 0, PlatformErrorKind::Other, 0, 0},
    {"DriverTimeout", 0, 0, 0x06, 0, 0, PlatformErrorKind::TimedOut, 0, 0},
    {"DriverBusy", 0, 0, 0x01, 0, 0, PlatformErrorKind::Other, 0, 0},
    {"DriverError", 0, 0, 0x04, 0, 0, PlatformErrorKind::Other, 0, 0},
    {"DriverSenseIsNoFailure", 0, 0, 0x08, 0x02, 0x01, PlatformErrorKind::None, 0, 0x02},
    {"DriverSenseWithSuggestion", 0, 0, 0x18, 0x02, 0x01, PlatformErrorKind::None, 0, 0x02},
    {"CheckConditionFromMaskedOnly", 0, 0, 0, 0, 0x01, PlatformErrorKind::None, 0, 0x02},
    {"Busy", 0, 0, 0, 0x08, 0x04, PlatformErrorKind::None, 0, 0x08},
};

void PrintTo(const OutcomeCase& c, std::ostream* out) {
    *out << c.name;
}

class SgIoOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(SgIoOutcome, SortsErrnoHostDriverAndScsiStatus) {
    const OutcomeCase& outcome = GetParam();
    PassThroughBlock block = TransportBlock(kScsiIoctlDataUnspecified, nullptr, 0);
    sg_io_hdr header{};
    ASSERT_TRUE(BuildSgIoRequest(block, header));
    header.host_status = outcome.hostStatus;
    header.driver_status = outcome.driverStatus;
    header.status = outcome.status;
    header.masked_status = outcome.maskedStatus;

    const PlatformError error = ClassifySgIoResult(outcome.ioctlError, header, block);
    EXPECT_EQ(error.kind, outcome.kind);
    EXPECT_EQ(error.code, outcome.code);
    EXPECT_EQ(block.ScsiStatus(), outcome.scsiStatus);
    // The raw statuses, suggestion bits included, of every call that returned.
    EXPECT_EQ(error.hostStatus, outcome.hostStatus);
    EXPECT_EQ(error.driverStatus, outcome.driverStatus);
}

INSTANTIATE_TEST_SUITE_P(Table, SgIoOutcome, ::testing::ValuesIn(kOutcomes),
                         [](const auto& testCase) { return testCase.param.name; });

// The transport tolerates time-outs and EIO: a host failure that is not a time-out must
// never be tolerated, or a vanished drive would count as a successful command.
TEST(SgIoOutcomeTolerance, NoHostFailureButTheTimeOutIsTolerated) {
    for (std::uint16_t hostStatus = 1; hostStatus < 0x20; ++hostStatus) {
        PassThroughBlock block = TransportBlock(kScsiIoctlDataUnspecified, nullptr, 0);
        sg_io_hdr header{};
        header.host_status = hostStatus;
        const PlatformError error = ClassifySgIoResult(0, header, block);
        if (hostStatus == sg_status::kHostTimeOut) {
            EXPECT_EQ(error.kind, PlatformErrorKind::TimedOut);
        } else {
            EXPECT_EQ(error.kind, PlatformErrorKind::Other) << hostStatus;
        }
        EXPECT_EQ(error.hostStatus, hostStatus);
        EXPECT_FALSE(error.text.empty()) << hostStatus;
    }
}

// After a call that returned, the block says what moved and what sense came back, as the NT
// call leaves it; a call that failed leaves the block as the transport filled it.
TEST(SgIoTransferReport, BlockCarriesWhatMovedAndTheSenseThatCameBack) {
    const struct {
        const char* name;
        int ioctlError;
        std::uint8_t dataIn;
        int resid;
        unsigned char senseWritten;
        std::uint32_t moved;
        std::uint8_t senseLength;
    } cases[] = {
        {"WholeTransfer", 0, kScsiIoctlDataIn, 0, 0, 64, 0},
        {"ShortDataIn", 0, kScsiIoctlDataIn, 28, 18, 36, 18},
        {"ShortDataOut", 0, kScsiIoctlDataOut, 60, 0, 4, 0},
        {"ResidualBeyondTheLength", 0, kScsiIoctlDataIn, 1000, 0, 0, 0},
        {"NegativeResidual", 0, kScsiIoctlDataIn, -4, 0, 64, 0},
        {"SenseBeyondTheBuffer", 0, kScsiIoctlDataIn, 0, 200, 64, 24},
        {"NoDataPhaseKeepsItsLength", 0, kScsiIoctlDataUnspecified, 64, 14, 64, 14},
        {"FailedCall", EIO, kScsiIoctlDataIn, 28, 18, 64, 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint8_t buffer[64] = {};
        PassThroughBlock block = TransportBlock(c.dataIn, buffer, sizeof buffer);
        sg_io_hdr header{};
        ASSERT_TRUE(BuildSgIoRequest(block, header));
        header.resid = c.resid;
        header.sb_len_wr = c.senseWritten;
        ClassifySgIoResult(c.ioctlError, header, block);
        EXPECT_EQ(block.DataTransferLength(), c.moved);
        EXPECT_EQ(block.SenseInfoLength(), c.senseLength);
    }
}

}  // namespace
}  // namespace troz
