// A drive platform whose writer lock answers as a test says (taken, held by another copy,
// or impossible to make), over the drives of another platform.
#pragma once

#include <string>

#include "drive/drive_platform.h"

namespace troz::test {

class LockingPlatform final : public DrivePlatform {
public:
    explicit LockingPlatform(DrivePlatform& drives) : drives_(drives) {}
    std::uint32_t VersionPlatformId() override { return drives_.VersionPlatformId(); }
    PassThroughBackend& PassThrough() override { return drives_.PassThrough(); }
    AspiPlatform& Aspi() override { return drives_.Aspi(); }
    void PumpOneMessage() override { drives_.PumpOneMessage(); }
    DriveLockResult LockDrive(const std::string&, DeviceHandle) override {
        DriveLockResult result;
        result.outcome = outcome;
        result.reason = reason;
        return result;
    }

    DriveLockOutcome outcome = DriveLockOutcome::Taken;
    std::string reason;

private:
    DrivePlatform& drives_;
};

}  // namespace troz::test
