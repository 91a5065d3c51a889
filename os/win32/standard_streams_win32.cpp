#include <fcntl.h>
#include <io.h>

#include "os/standard_streams.h"

namespace troz {

bool EnsureStandardStreams() {
    // A windowed program starts without them, and the C runtime hands out the lowest free
    // descriptor as the Linux kernel does.
    constexpr int kStandardDescriptors = 3;
    for (int descriptor = 0; descriptor < kStandardDescriptors; ++descriptor) {
        if (_get_osfhandle(descriptor) != -1) {
            continue;
        }
        const int opened = _open("NUL", descriptor == 0 ? _O_RDONLY : _O_WRONLY);
        if (opened == -1) {
            return false;
        }
        if (opened != descriptor) {
            const bool moved = _dup2(opened, descriptor) == 0;
            _close(opened);
            if (!moved) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace troz
