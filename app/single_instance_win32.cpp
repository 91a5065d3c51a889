// The single-instance mark on Windows: the named mutex. No Qt here, so programs without
// the window (the Windows test programs) use the same guard.
#include "app/single_instance.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace troz {

SingleInstanceGuard::SingleInstanceGuard(const std::string& name) {
    // Initial ownership is asked for and given up at once: the mutex is never held while
    // the tool runs, only its existence counts. A creation that fails outright lets the
    // tool run as the first copy.
    mutex_ = CreateMutexA(nullptr, TRUE, name.c_str());
    anotherInstanceRunning_ = GetLastError() == ERROR_ALREADY_EXISTS;
    if (mutex_ != nullptr) {
        ReleaseMutex(mutex_);
    }
}

// The handle is left to the end of the process: while it is open, the name marks this copy.
SingleInstanceGuard::~SingleInstanceGuard() = default;

std::string SingleInstanceGuard::LockFilePath(const std::string&) {
    return {};
}

}  // namespace troz
