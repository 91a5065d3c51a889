// The mark of a running copy of the tool. On Windows it is the named mutex "MyAPP"; on
// Linux an exclusive flock() on a file named after it in the user's runtime directory. The
// kernel drops the lock with the process however it ends, so a crash leaves nothing stale.
#pragma once

#include <string>

namespace troz {

constexpr const char* kInstanceName = "MyAPP";

class SingleInstanceGuard {
public:
    // Claims the mark. Whether another process held it already is known from then on.
    explicit SingleInstanceGuard(const std::string& name);
    // On Linux the lock goes with the descriptor. The Windows mutex handle stays open until
    // the process ends: its existence is the mark.
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    bool AnotherInstanceRunning() const { return anotherInstanceRunning_; }

    // Where the Linux lock file of a name lives (empty on Windows).
    static std::string LockFilePath(const std::string& name);

private:
    bool anotherInstanceRunning_ = false;
#ifdef _WIN32
    void* mutex_ = nullptr;
#else
    int lockDescriptor_ = -1;
#endif
};

}  // namespace troz
