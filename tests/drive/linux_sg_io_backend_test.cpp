#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "drive/linux/sg_io_backend.h"
#include "tests/support/drive_fakes.h"
#include "tests/support/linux_fake_system.h"

namespace troz {
namespace {

using test::FakeLinuxSystem;
using test::RecordingServices;

constexpr int kExpectedOpenFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC;

class SgIoBackendTest : public ::testing::Test {
protected:
    // Drive N at /dev/srN; with a generic node, sysfs links it to /dev/sgM.
    void AddDrive(int candidate, const std::string& genericName = {}) {
        system.nodes["/dev/sr" + std::to_string(candidate)] = NodeKind::BlockDevice;
        if (!genericName.empty()) {
            system.folders["/sys/block/sr" + std::to_string(candidate) + "/device/scsi_generic"] = {
                genericName};
            system.nodes["/dev/" + genericName] = NodeKind::CharacterDevice;
        }
    }

    PassThroughBlock Block(std::uint8_t dataIn, void* buffer, std::uint32_t length) {
        const std::uint8_t testUnitReady[kCdbLength] = {};
        PassThroughBlock block;
        FillCommandBlock(block, testUnitReady, buffer, length, dataIn);
        return block;
    }

    FakeLinuxSystem system;
    RecordingServices services;
    SgIoBackend backend{system, services};
};

TEST_F(SgIoBackendTest, CandidatesAreTheSrNodesThatAreBlockDevices) {
    AddDrive(0);
    AddDrive(24);
    system.nodes["/dev/sr1"] = NodeKind::CharacterDevice;
    EXPECT_EQ(backend.DevicePath(0), "/dev/sr0");
    EXPECT_EQ(backend.DevicePath(24), "/dev/sr24");
    EXPECT_TRUE(backend.IsOpticalDrive(0));
    EXPECT_FALSE(backend.IsOpticalDrive(1));
    EXPECT_FALSE(backend.IsOpticalDrive(2));
    EXPECT_TRUE(backend.IsOpticalDrive(24));
    EXPECT_FALSE(backend.IsOpticalDrive(25));
    EXPECT_FALSE(backend.IsOpticalDrive(-1));
    EXPECT_EQ(backend.Open(2), kInvalidHandle);
    EXPECT_TRUE(system.openedPaths.empty());
}

TEST_F(SgIoBackendTest, CommandsGoThroughTheGenericNodeFromSysfs) {
    AddDrive(1, "sg3");
    const DeviceHandle handle = backend.Open(1);
    ASSERT_NE(handle, kInvalidHandle);
    EXPECT_EQ(system.openedPaths, std::vector<std::string>{"/dev/sg3"});
    EXPECT_EQ(system.openFlags, std::vector<int>{kExpectedOpenFlags});

    PassThroughBlock block = Block(kScsiIoctlDataUnspecified, nullptr, 0);
    EXPECT_EQ(backend.Execute(handle, block).kind, PlatformErrorKind::None);
    ASSERT_EQ(system.ioctlDescriptors.size(), 1u);
    EXPECT_EQ(system.descriptorPaths[system.ioctlDescriptors[0]], "/dev/sg3");
}

TEST_F(SgIoBackendTest, WithoutAUsableGenericNodeTheSrNodeCarriesTheCommands) {
    AddDrive(0);
    AddDrive(1);
    // Only well-formed names that are character devices count.
    system.folders["/sys/block/sr1/device/scsi_generic"] = {"../sda", "sg", "sgx", "sg7"};
    AddDrive(2, "sg5");
    system.openErrors["/dev/sg5"] = EACCES;

    EXPECT_NE(backend.Open(0), kInvalidHandle);
    EXPECT_NE(backend.Open(1), kInvalidHandle);
    EXPECT_NE(backend.Open(2), kInvalidHandle);
    EXPECT_EQ(system.openedPaths,
              (std::vector<std::string>{"/dev/sr0", "/dev/sr1", "/dev/sg5", "/dev/sr2"}));
    EXPECT_TRUE(services.messages.empty());
}

// What --drive /dev/sgM finds: the drive whose sysfs folder lists that node.
TEST_F(SgIoBackendTest, AGenericNodeLeadsToTheBlockNodeOfItsDrive) {
    AddDrive(0, "sg1");
    AddDrive(3, "sg0");
    AddDrive(24, "sg12");
    system.folders["/sys/block/sr5/device/scsi_generic"] = {"../sg2", "sgx"};
    const std::pair<const char*, const char*> cases[] = {{"/dev/sg0", "/dev/sr3"},
                                                         {"/dev/sg1", "/dev/sr0"},
                                                         {"/dev/sg12", "/dev/sr24"},
                                                         {"/dev/sg2", ""},
                                                         {"/dev/sgx", ""},
                                                         {"/dev/sr0", ""},
                                                         {"sg1", ""},
                                                         {"", ""}};
    for (const auto& [node, blockNode] : cases) {
        EXPECT_EQ(BlockNodeOfGenericNode(system, node), blockNode) << node;
    }
    EXPECT_TRUE(system.openedPaths.empty());
}

TEST_F(SgIoBackendTest, ADriveThatCannotBeOpenedIsReportedOnceWithTheRemedy) {
    AddDrive(0, "sg0");
    AddDrive(1, "sg1");
    for (const char* node : {"/dev/sg0", "/dev/sr0", "/dev/sg1", "/dev/sr1"}) {
        system.openErrors[node] = EACCES;
    }
    system.groups["/dev/sg0"] = "cdrom";

    EXPECT_EQ(backend.Open(0), kInvalidHandle);
    EXPECT_EQ(backend.Open(1), kInvalidHandle);
    EXPECT_EQ(backend.Open(0), kInvalidHandle);
    EXPECT_EQ(services.messages,
              std::vector<std::string>{
                  "Cannot open the drive /dev/sr0 (/dev/sg0): Permission denied. Run as root, "
                  "or get read-write access to /dev/sg0 (for instance as a member of the group "
                  "'cdrom' that owns it)."});
}

TEST_F(SgIoBackendTest, OpenFailureMessagesWithoutGenericNodeOrPermissionTrouble) {
    AddDrive(0);
    system.openErrors["/dev/sr0"] = EBUSY;
    EXPECT_EQ(backend.Open(0), kInvalidHandle);
    EXPECT_EQ(services.messages,
              std::vector<std::string>{"Cannot open the drive /dev/sr0: Device or resource busy."});
}

TEST_F(SgIoBackendTest, ADriveThatIsNotReallyThereVanishesSilently) {
    AddDrive(0);
    system.openErrors["/dev/sr0"] = ENXIO;
    AddDrive(1);
    system.openErrors["/dev/sr1"] = EACCES;
    system.groups["/dev/sr1"] = "root";
    EXPECT_EQ(backend.Open(0), kInvalidHandle);
    EXPECT_EQ(backend.Open(1), kInvalidHandle);
    EXPECT_EQ(services.messages,
              std::vector<std::string>{"Cannot open the drive /dev/sr1: Permission denied. Run "
                                       "as root, or get read-write access to /dev/sr1."});
}

TEST_F(SgIoBackendTest, HandlesTheBackendDidNotOpenNeverReachTheKernel) {
    AddDrive(0);
    const DeviceHandle handle = backend.Open(0);
    PassThroughBlock block = Block(kScsiIoctlDataUnspecified, nullptr, 0);
    for (DeviceHandle stranger : {DeviceHandle{0}, DeviceHandle{1}, kInvalidHandle, handle + 1}) {
        const PlatformError error = backend.Execute(stranger, block);
        EXPECT_EQ(error.kind, PlatformErrorKind::Other);
        EXPECT_EQ(error.code, static_cast<std::uint32_t>(EBADF));
    }
    backend.Close(0);
    backend.Close(handle);
    backend.Close(handle);
    EXPECT_EQ(system.closed, std::vector<int>{static_cast<int>(handle)});
    EXPECT_EQ(backend.Execute(handle, block).code, static_cast<std::uint32_t>(EBADF));
    EXPECT_TRUE(system.ioctlDescriptors.empty());
}

TEST_F(SgIoBackendTest, DataInBufferIsClearedBeforeTheCommand) {
    AddDrive(0);
    const DeviceHandle handle = backend.Open(0);
    std::uint8_t buffer[36];
    std::memset(buffer, 0xAA, sizeof buffer);
    bool clearedWhenSent = false;
    system.answer = [&](sg_io_hdr& header) {
        const auto* data = static_cast<const std::uint8_t*>(header.dxferp);
        clearedWhenSent = std::all_of(data, data + header.dxfer_len, [](auto b) { return b == 0; });
        std::memcpy(header.dxferp, "TROZ", 4);  // a short reply
        return 0;
    };
    PassThroughBlock block = Block(kScsiIoctlDataIn, buffer, sizeof buffer);
    EXPECT_EQ(backend.Execute(handle, block).kind, PlatformErrorKind::None);
    EXPECT_TRUE(clearedWhenSent);
    EXPECT_EQ(buffer[4], 0);

    std::memset(buffer, 0xAA, sizeof buffer);
    block = Block(kScsiIoctlDataOut, buffer, sizeof buffer);
    system.answer = [&](sg_io_hdr& header) {
        clearedWhenSent = static_cast<const std::uint8_t*>(header.dxferp)[0] == 0;
        return 0;
    };
    backend.Execute(handle, block);
    EXPECT_FALSE(clearedWhenSent) << "data-out must reach the drive untouched";
}

TEST_F(SgIoBackendTest, CheckConditionLeavesStatusAndSenseInTheBlock) {
    AddDrive(0, "sg0");
    const DeviceHandle handle = backend.Open(0);
    system.answer = [](sg_io_hdr& header) {
        header.status = kScsiStatusCheckCondition;
        header.driver_status = 0x08;
        const std::uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x01};
        std::memcpy(header.sbp, sense, sizeof sense);
        header.sb_len_wr = sizeof sense;
        return 0;
    };
    PassThroughBlock block = Block(kScsiIoctlDataUnspecified, nullptr, 0);
    EXPECT_EQ(backend.Execute(handle, block).kind, PlatformErrorKind::None);
    EXPECT_EQ(block.ScsiStatus(), kScsiStatusCheckCondition);
    EXPECT_EQ(block.Sense()[kSenseKeyOffset], 0x05);
    EXPECT_EQ(block.Sense()[kSenseAscOffset], 0x24);
    EXPECT_EQ(block.Sense()[kSenseAscqOffset], 0x01);
}

// A host adapter or driver failure is named by its kernel name, with the drive and the
// command it concerns, rather than by the error number that sorts it.
TEST_F(SgIoBackendTest, HostAndDriverFailuresNameTheStatusTheDriveAndTheCommand) {
    AddDrive(0, "sg0");
    const DeviceHandle handle = backend.Open(0);
    const struct {
        std::uint16_t host;
        std::uint16_t driver;
        const char* text;
    } cases[] = {
        {0x07, 0, "/dev/sr0: command 00 failed with host status DID_ERROR."},
        {0x01, 0, "/dev/sr0: command 00 failed with host status DID_NO_CONNECT."},
        {0x3F, 0, "/dev/sr0: command 00 failed with host status 0x3F."},
        {0, 0x04, "/dev/sr0: command 00 failed with driver status DRIVER_ERROR."},
    };
    for (const auto& c : cases) {
        system.answer = [&](sg_io_hdr& header) {
            header.host_status = c.host;
            header.driver_status = c.driver;
            return 0;
        };
        PassThroughBlock block = Block(kScsiIoctlDataUnspecified, nullptr, 0);
        const PlatformError error = backend.Execute(handle, block);
        EXPECT_EQ(error.text, c.text);
        EXPECT_EQ(error.code, 0u);
        EXPECT_EQ(error.hostStatus, c.host);
        EXPECT_EQ(error.driverStatus, c.driver);
    }
}

TEST_F(SgIoBackendTest, RefusedCommandTextNamesTheRemedy) {
    AddDrive(0, "sg0");
    system.openErrors["/dev/sg0"] = EACCES;
    system.groups["/dev/sg0"] = "cdrom";
    AddDrive(1);
    AddDrive(2, "sg2");
    system.answer = [](sg_io_hdr&) { return EPERM; };
    PassThroughBlock block = Block(kScsiIoctlDataOut, nullptr, 0);

    const PlatformError first = backend.Execute(backend.Open(0), block);
    EXPECT_EQ(first.code, static_cast<std::uint32_t>(EPERM));
    EXPECT_EQ(first.text,
              "Operation not permitted. /dev/sr0 passes this command to root only. Run as root, "
              "or get read-write access to /dev/sg0 (for instance as a member of the group "
              "'cdrom' that owns it).");

    EXPECT_EQ(backend.Execute(backend.Open(1), block).text,
              "Operation not permitted. /dev/sr1 passes this command to root only. Run as root, "
              "or load the sg module (modprobe sg) and get read-write access to the drive's "
              "/dev/sg node.");

    EXPECT_EQ(backend.Execute(backend.Open(2), block).text,
              "Operation not permitted. Run as root.");

    // The advice belongs to the failure it explains, not to later ones.
    system.answer = [](sg_io_hdr&) { return EFAULT; };
    EXPECT_EQ(backend.Execute(system.ioctlDescriptors.back(), block).text, "");
    std::string text;
    std::uint32_t lastError = 0;
    ASSERT_TRUE(backend.FormatSystemError(EPERM, text, lastError));
    EXPECT_EQ(text, "Operation not permitted");
}

TEST_F(SgIoBackendTest, DestructionClosesTheDrivesStillOpen) {
    AddDrive(0);
    AddDrive(1, "sg1");
    {
        SgIoBackend local(system, services);
        local.Open(0);
        local.Open(1);
    }
    EXPECT_EQ(system.closed.size(), 2u);
}

}  // namespace
}  // namespace troz
