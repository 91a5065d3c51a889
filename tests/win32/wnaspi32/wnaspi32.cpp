// The test WNASPI32.DLL: the two entry points of ASPI for Win32, exported by their plain
// names through wnaspi32.def, over the layer in test_aspi_layer.h. The layer is made on the
// first call, so a process that only loads the library never reads its settings.
#include <cstdint>

#include "drive/aspi_layout.h"
#include "tests/win32/wnaspi32/test_aspi_layer.h"

namespace {

troz::wnaspi32::TestAspiLayer& Layer() {
    static troz::wnaspi32::TestAspiLayer layer;
    return layer;
}

}  // namespace

extern "C" {

std::uint32_t TROZ_ASPI_CALL GetASPI32SupportInfo() {
    return Layer().SupportInfo();
}

std::uint32_t TROZ_ASPI_CALL SendASPI32Command(void* request) {
    return Layer().Send(static_cast<std::uint8_t*>(request));
}

}  // extern "C"
