#include "cli/drive_session.h"

#include <cstdlib>

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

}  // namespace troz::cli
