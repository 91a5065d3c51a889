#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "os/standard_streams.h"

namespace troz {

bool EnsureStandardStreams() {
    constexpr int kStandardDescriptors = 3;
    for (int descriptor = 0; descriptor < kStandardDescriptors; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lower ones are open by now, so this takes the descriptor that is missing.
        const int opened = ::open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened == -1) {
            return false;
        }
        if (opened != descriptor) {
            const bool moved = ::dup2(opened, descriptor) == descriptor;
            ::close(opened);
            if (!moved) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace troz
