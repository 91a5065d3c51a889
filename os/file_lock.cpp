#include "os/file_lock.h"

#include <utility>

namespace troz {

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), timedOut_(other.timedOut_) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, -1);
        timedOut_ = other.timedOut_;
    }
    return *this;
}

FileLock::~FileLock() {
    Release();
}

bool FileLock::Held() const {
    return handle_ != -1;
}

}  // namespace troz
