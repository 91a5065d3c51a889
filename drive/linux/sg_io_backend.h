// The pass-through backend of Linux: every command goes out as one SG_IO ioctl. Candidate
// N is the optical drive /dev/srN. The kernel passes WRITE BUFFER and vendor commands on
// /dev/srN to root only, but to anyone who has the drive's SCSI generic node (/dev/sgM)
// open read-write, so commands go through that node when the drive has one.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "drive/linux/linux_system.h"
#include "drive/pass_through_backend.h"
#include "drive/system_services.h"

namespace troz {

class SgIoBackend final : public PassThroughBackend {
public:
    SgIoBackend(LinuxSystem& system, SystemServices& services);
    // Closes the drives that are still open.
    ~SgIoBackend() override;
    SgIoBackend(const SgIoBackend&) = delete;
    SgIoBackend& operator=(const SgIoBackend&) = delete;

    bool IsOpticalDrive(int candidate) override;
    std::string DevicePath(int candidate) override;
    DeviceHandle Open(int candidate) override;
    void Close(DeviceHandle handle) override;
    PlatformError Execute(DeviceHandle handle, PassThroughBlock& block) override;
    bool FormatSystemError(std::uint32_t code, std::string& text,
                           std::uint32_t& lastError) override;

private:
    struct OpenDrive {
        std::string blockNode;    // /dev/srN
        std::string genericNode;  // /dev/sgM, empty when the drive has none
        bool throughGenericNode = false;
    };

    std::string FindGenericNode(int candidate);
    void ReportOpenFailure(const std::string& blockNode, const std::string& genericNode, int error);
    std::string AccessRemedy(const std::string& genericNode, const std::string& fallbackNode);
    std::string RefusalAdvice(const OpenDrive& drive);

    LinuxSystem& system_;
    SystemServices& services_;
    std::map<int, OpenDrive> openDrives_;
    bool openFailureReported_ = false;
};

// The block node (/dev/srN) of the optical drive whose SCSI generic node is genericNode
// (/dev/sgM), as sysfs maps them; empty when no candidate drive has that node.
std::string BlockNodeOfGenericNode(LinuxSystem& system, const std::string& genericNode);
// The other way: the SCSI generic node of the optical drive /dev/srN; empty when it has none.
std::string GenericNodeOfBlockNode(LinuxSystem& system, const std::string& blockNode);

}  // namespace troz
