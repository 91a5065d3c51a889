#include "cli/drive_session.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/drive_choice.h"
#include "virtual/drive_source.h"

namespace troz::cli {

bool DriveSession::Open(std::string& error) {
    platform_ = MakeDrivePlatform(std::getenv(kDriveSourceVariable), clock_, services_, error);
    if (!platform_) {
        return false;
    }
    atapi_.emplace(*platform_, clock_, services_);
    return true;
}

bool DriveSession::OpenOrReport() {
    std::string error;
    if (!Open(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

bool DriveSession::FindDrive(const std::string& text, int& index, std::string& error) {
    std::vector<std::string> locations;
    for (int i = 0; i < atapi_->DriveCount(); ++i) {
        locations.push_back(atapi_->Location(i));
    }
    DrivePlatform& platform = *platform_;
    return ChooseDrive(
        locations, text,
        [&platform](const std::string& node) { return platform.ListedNodeOf(node); }, index, error);
}

bool DriveSession::PickDrive(const std::string& text, int& index) {
    std::string error;
    if (!FindDrive(text, index, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

}  // namespace troz::cli
