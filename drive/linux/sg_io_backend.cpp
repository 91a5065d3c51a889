#include "drive/linux/sg_io_backend.h"

#include <fcntl.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "drive/linux/sg_io_request.h"
#include "os/os_errors.h"

namespace troz {

namespace {

// Non-blocking, or an empty drive refuses the open with ENOMEDIUM (EROFS with a disc in).
constexpr int kOpenFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC;

constexpr const char* kBlockNodePrefix = "/dev/sr";
constexpr const char* kDeviceFolder = "/dev/";
constexpr const char* kSysfsBlockFolder = "/sys/block/sr";
constexpr const char* kSysfsGenericFolder = "/device/scsi_generic";
constexpr const char* kGenericNodePrefix = "sg";

// Open failures that mean the drive is not really there: it is skipped without a word.
bool DriveIsAbsent(int error) {
    return error == ENOENT || error == ENXIO || error == ENODEV;
}

bool IsPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

// Only names like "sg3" are taken from sysfs, so a stray entry never becomes a path elsewhere.
bool IsGenericNodeName(const std::string& name) {
    const std::size_t prefixLength = std::strlen(kGenericNodePrefix);
    if (name.size() <= prefixLength || name.compare(0, prefixLength, kGenericNodePrefix) != 0) {
        return false;
    }
    for (std::size_t i = prefixLength; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

// Where sysfs lists the SCSI generic node of /dev/srN.
std::string GenericFolderOf(int candidate) {
    return kSysfsBlockFolder + std::to_string(candidate) + kSysfsGenericFolder;
}

}  // namespace

SgIoBackend::SgIoBackend(LinuxSystem& system, SystemServices& services)
    : system_(system), services_(services) {}

SgIoBackend::~SgIoBackend() {
    for (const auto& [fd, drive] : openDrives_) {
        system_.Close(fd);
    }
}

bool SgIoBackend::IsOpticalDrive(int candidate) {
    if (candidate < 0 || candidate >= kCandidateCount) {
        return false;
    }
    return system_.Probe(DevicePath(candidate)) == NodeKind::BlockDevice;
}

std::string SgIoBackend::DevicePath(int candidate) {
    return kBlockNodePrefix + std::to_string(candidate);
}

std::string SgIoBackend::FindGenericNode(int candidate) {
    return GenericNodeOfBlockNode(system_, DevicePath(candidate));
}

std::string GenericNodeOfBlockNode(LinuxSystem& system, const std::string& blockNode) {
    if (blockNode.rfind(kBlockNodePrefix, 0) != 0) {
        return {};
    }
    const std::string number = blockNode.substr(std::char_traits<char>::length(kBlockNodePrefix));
    int candidate = -1;
    for (int i = 0; i < PassThroughBackend::kCandidateCount; ++i) {
        if (number == std::to_string(i)) {
            candidate = i;
        }
    }
    if (candidate < 0) {
        return {};
    }
    for (const std::string& name : system.ListDirectory(GenericFolderOf(candidate))) {
        const std::string node = kDeviceFolder + name;
        if (IsGenericNodeName(name) && system.Probe(node) == NodeKind::CharacterDevice) {
            return node;
        }
    }
    return {};
}

std::string BlockNodeOfGenericNode(LinuxSystem& system, const std::string& genericNode) {
    for (int candidate = 0; candidate < PassThroughBackend::kCandidateCount; ++candidate) {
        for (const std::string& name : system.ListDirectory(GenericFolderOf(candidate))) {
            if (IsGenericNodeName(name) && kDeviceFolder + name == genericNode) {
                return kBlockNodePrefix + std::to_string(candidate);
            }
        }
    }
    return {};
}

DeviceHandle SgIoBackend::Open(int candidate) {
    if (!IsOpticalDrive(candidate)) {
        return kInvalidHandle;
    }
    OpenDrive drive;
    drive.blockNode = DevicePath(candidate);
    drive.genericNode = FindGenericNode(candidate);
    int firstError = 0;
    if (!drive.genericNode.empty()) {
        const int fd = system_.Open(drive.genericNode, kOpenFlags);
        if (fd >= 0) {
            drive.throughGenericNode = true;
            openDrives_[fd] = drive;
            return fd;
        }
        firstError = -fd;
    }
    // Without the generic node the drive still answers the read-only commands.
    const int fd = system_.Open(drive.blockNode, kOpenFlags);
    if (fd >= 0) {
        openDrives_[fd] = drive;
        return fd;
    }
    ReportOpenFailure(drive.blockNode, drive.genericNode, firstError != 0 ? firstError : -fd);
    return kInvalidHandle;
}

void SgIoBackend::ReportOpenFailure(const std::string& blockNode, const std::string& genericNode,
                                    int error) {
    if (DriveIsAbsent(error) || openFailureReported_) {
        return;
    }
    openFailureReported_ = true;
    std::string text = "Cannot open the drive " + blockNode;
    if (!genericNode.empty()) {
        text += " (" + genericNode + ")";
    }
    text += ": " + OsErrorText(static_cast<std::uint32_t>(error)) + ".";
    if (IsPermissionError(error)) {
        text += " " + AccessRemedy(genericNode, blockNode);
    }
    services_.ShowMessage(text);
}

std::string SgIoBackend::AccessRemedy(const std::string& genericNode,
                                      const std::string& fallbackNode) {
    const std::string node = genericNode.empty() ? fallbackNode : genericNode;
    std::string text = "Run as root, or get read-write access to " + node;
    const std::string group = system_.OwningGroup(node);
    if (!group.empty() && group != "root") {
        text += " (for instance as a member of the group '" + group + "' that owns it)";
    }
    return text + ".";
}

void SgIoBackend::Close(DeviceHandle handle) {
    if (handle < 0 || handle > INT_MAX) {
        return;
    }
    const auto found = openDrives_.find(static_cast<int>(handle));
    if (found != openDrives_.end()) {
        system_.Close(found->first);
        openDrives_.erase(found);
    }
}

PlatformError SgIoBackend::Execute(DeviceHandle handle, PassThroughBlock& block) {
    // A handle of someone else's (0 is standard input) is never handed to the kernel.
    const auto found = handle >= 0 && handle <= INT_MAX ? openDrives_.find(static_cast<int>(handle))
                                                        : openDrives_.end();
    if (found == openDrives_.end()) {
        return {PlatformErrorKind::Other, static_cast<std::uint32_t>(EBADF)};
    }
    sg_io_hdr header{};
    if (!BuildSgIoRequest(block, header)) {
        return {PlatformErrorKind::Other, static_cast<std::uint32_t>(EINVAL)};
    }
    // Some adapters report no residual count for a short transfer: what the drive did not
    // send must read as zeros, not as the previous command's data.
    if (header.dxfer_direction == SG_DXFER_FROM_DEV && header.dxferp != nullptr) {
        std::memset(header.dxferp, 0, header.dxfer_len);
    }
    PlatformError error = ClassifySgIoResult(system_.Ioctl(found->first, header), header, block);
    const OpenDrive& drive = found->second;
    if (!error.text.empty()) {
        // A host adapter or driver status: say which drive and which command it concerns.
        char opcode[8];
        std::snprintf(opcode, sizeof opcode, "%02X", block.Cdb()[0]);
        error.text = drive.blockNode + ": command " + opcode + " failed with " + error.text + ".";
    } else if (error.kind == PlatformErrorKind::Other &&
               error.code == static_cast<std::uint32_t>(EPERM)) {
        error.text = OsErrorText(EPERM) + ". " + RefusalAdvice(drive);
    }
    return error;
}

std::string SgIoBackend::RefusalAdvice(const OpenDrive& drive) {
    if (drive.throughGenericNode) {
        return "Run as root.";
    }
    if (drive.genericNode.empty()) {
        return drive.blockNode +
               " passes this command to root only. Run as root, or load the sg module "
               "(modprobe sg) and get read-write access to the drive's /dev/sg node.";
    }
    return drive.blockNode + " passes this command to root only. " +
           AccessRemedy(drive.genericNode, drive.blockNode);
}

bool SgIoBackend::FormatSystemError(std::uint32_t code, std::string& text,
                                    std::uint32_t& lastError) {
    return FormatOsError(code, text, lastError);
}

}  // namespace troz
