// A scripted Linux underneath the SG_IO backend: device nodes, sysfs folders, open results
// and the answer of every SG_IO ioctl, all set by the test.
#pragma once

#include <scsi/sg.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "drive/linux/linux_system.h"

namespace troz::test {

class FakeLinuxSystem final : public LinuxSystem {
public:
    int Ioctl(int fd, sg_io_hdr& header) override {
        ioctlDescriptors.push_back(fd);
        return answer ? answer(header) : 0;
    }
    NodeKind Probe(const std::string& path) override {
        const auto found = nodes.find(path);
        return found == nodes.end() ? NodeKind::Missing : found->second;
    }
    std::vector<std::string> ListDirectory(const std::string& path) override {
        const auto found = folders.find(path);
        return found == folders.end() ? std::vector<std::string>{} : found->second;
    }
    int Open(const std::string& path, int flags) override {
        openedPaths.push_back(path);
        openFlags.push_back(flags);
        const auto refused = openErrors.find(path);
        if (refused != openErrors.end()) {
            return -refused->second;
        }
        const int fd = nextDescriptor++;
        descriptorPaths[fd] = path;
        return fd;
    }
    void Close(int fd) override { closed.push_back(fd); }
    std::string OwningGroup(const std::string& path) override {
        const auto found = groups.find(path);
        return found == groups.end() ? std::string{} : found->second;
    }

    std::map<std::string, NodeKind> nodes;
    std::map<std::string, std::vector<std::string>> folders;
    std::map<std::string, int> openErrors;  // path -> errno of a refused open
    std::map<std::string, std::string> groups;
    std::function<int(sg_io_hdr&)> answer;  // the ioctl's outcome; 0 when unset

    std::vector<std::string> openedPaths;
    std::vector<int> openFlags;
    std::map<int, std::string> descriptorPaths;
    std::vector<int> closed;
    std::vector<int> ioctlDescriptors;
    int nextDescriptor = 3;
};

}  // namespace troz::test
