// Drive locks on Windows: a named mutex per drive, which the system drops when its holder
// exits or is killed.
#include "os/drive_lock.h"
#include "os/win32/win32_api.h"

namespace troz {

namespace {

// Backslashes are the namespace separator of object names: the rest of the name may not
// hold any.
std::string MutexName(const std::string& what) {
    std::string name = "TROZFlash drive ";
    for (const char c : what) {
        name += c == '\\' ? '/' : c;
    }
    return name;
}

class NamedMutex final : public DriveLock {
public:
    explicit NamedMutex(HANDLE mutex) : mutex_(mutex) {}
    ~NamedMutex() override {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }

private:
    HANDLE mutex_;
};

DriveLockResult LockByName(const std::string& what) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, MutexName(what).c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        return DriveLockResult::Refused(DriveLockOutcome::Unavailable,
                                        what + ": error " + std::to_string(error));
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return DriveLockResult::Refused(DriveLockOutcome::HeldElsewhere, what);
    }
    return DriveLockResult::Taken(std::make_unique<NamedMutex>(mutex));
}

}  // namespace

DriveLockResult LockDeviceNode(const std::string& location, DeviceHandle) {
    return LockByName(location);
}

DriveLockResult LockDriveFile(const std::filesystem::path& lockFile) {
    return LockByName(lockFile.string());
}

}  // namespace troz
