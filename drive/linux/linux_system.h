// The system calls under the SG_IO backend, behind one seam so that the backend runs in
// tests without a drive: the SG_IO ioctl itself and the probing of device nodes and sysfs.
#pragma once

#include <scsi/sg.h>

#include <string>
#include <vector>

namespace troz {

enum class NodeKind { Missing, BlockDevice, CharacterDevice, Other };

class LinuxSystem {
public:
    virtual ~LinuxSystem() = default;
    // ioctl(fd, SG_IO, &header): 0, or the errno of the failure.
    virtual int Ioctl(int fd, sg_io_hdr& header) = 0;
    // What stat() finds at path.
    virtual NodeKind Probe(const std::string& path) = 0;
    // The entries of a directory without "." and "..", in name order; empty when the
    // directory cannot be read.
    virtual std::vector<std::string> ListDirectory(const std::string& path) = 0;
    // open(path, flags): the descriptor, or minus the errno of the failure.
    virtual int Open(const std::string& path, int flags) = 0;
    virtual void Close(int fd) = 0;
    // The name of the group that owns path; empty when it cannot be told.
    virtual std::string OwningGroup(const std::string& path) = 0;
};

// The calls of the running kernel.
class RealLinuxSystem final : public LinuxSystem {
public:
    int Ioctl(int fd, sg_io_hdr& header) override;
    NodeKind Probe(const std::string& path) override;
    std::vector<std::string> ListDirectory(const std::string& path) override;
    int Open(const std::string& path, int flags) override;
    void Close(int fd) override;
    std::string OwningGroup(const std::string& path) override;
};

}  // namespace troz
