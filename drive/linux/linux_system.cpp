#include "drive/linux/linux_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace troz {

namespace {

// Room for one group record from getgrgid_r; group files with huge member lists need more.
constexpr std::size_t kGroupRecordBuffer = 16384;

}  // namespace

int RealLinuxSystem::Ioctl(int fd, sg_io_hdr& header) {
    // No retry on EINTR: the command may already have reached the drive, and a second
    // vendor download of the same block is not harmless.
    return ::ioctl(fd, SG_IO, &header) == 0 ? 0 : errno;
}

NodeKind RealLinuxSystem::Probe(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return NodeKind::Missing;
    }
    if (S_ISBLK(status.st_mode)) {
        return NodeKind::BlockDevice;
    }
    return S_ISCHR(status.st_mode) ? NodeKind::CharacterDevice : NodeKind::Other;
}

std::vector<std::string> RealLinuxSystem::ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* directory = ::opendir(path.c_str());
    if (directory == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(directory);
    std::sort(names.begin(), names.end());
    return names;
}

int RealLinuxSystem::Open(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags);
    return fd >= 0 ? fd : -errno;
}

void RealLinuxSystem::Close(int fd) {
    ::close(fd);
}

std::string RealLinuxSystem::OwningGroup(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    auto buffer = std::make_unique<char[]>(kGroupRecordBuffer);
    group record{};
    group* found = nullptr;
    if (::getgrgid_r(status.st_gid, &record, buffer.get(), kGroupRecordBuffer, &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return found->gr_name;
}

}  // namespace troz
